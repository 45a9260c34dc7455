#include "decodermessages.h"

#include <QString>
#include <QtGlobal>

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

thread_local CDecoderMessages* t_collector = nullptr;
QtMessageHandler g_previousHandler = nullptr;

// Enough to say what went wrong; a damaged file can make a library repeat itself.
constexpr std::size_t kMostTextBytes = 300;

void RouteToolkitMessage(QtMsgType type, const QMessageLogContext& context,
                         const QString& message) {
    const std::string source = context.category ? context.category : "default";
    if (CDecoderMessages::Collect(source, message.toStdString()))
        return;
    if (g_previousHandler) {
        g_previousHandler(type, context, message);
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

void RouteTiffMessage(const char* module, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    const std::string line = (module ? std::string(module) + ": " : std::string()) + text;
    if (!CDecoderMessages::Collect("tiff", line))
        qWarning("%s", line.c_str());
}

// Once, before the first decode: the handlers are the whole process's.
void InstallRoutes() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        g_previousHandler = qInstallMessageHandler(RouteToolkitMessage);
        TIFFSetErrorHandler(RouteTiffMessage);
        TIFFSetWarningHandler(RouteTiffMessage);
    });
}

} // namespace

CDecoderMessages::CDecoderMessages() : m_previous(t_collector) {
    InstallRoutes();
    t_collector = this;
}

CDecoderMessages::~CDecoderMessages() {
    t_collector = m_previous;
}

bool CDecoderMessages::AnyFrom(const std::string& prefix) const {
    for (const Message& message : m_messages)
        if (message.source.starts_with(prefix))
            return true;
    return false;
}

bool CDecoderMessages::AnyContaining(const std::string& words) const {
    for (const Message& message : m_messages)
        if (message.text.find(words) != std::string::npos)
            return true;
    return false;
}

std::string CDecoderMessages::Text() const {
    std::string text;
    for (const Message& message : m_messages) {
        if (text.size() >= kMostTextBytes)
            return text + "……";
        text += (text.empty() ? "" : "；") + message.text;
    }
    return text;
}

bool CDecoderMessages::Collect(const std::string& source, const std::string& text) {
    if (t_collector == nullptr)
        return false;
    t_collector->m_messages.push_back({source, text});
    return true;
}
