#include "descriptorwatch.h"

#include <QSocketNotifier>
#include <QTimer>

struct CDescriptorWatch::Impl {
    explicit Impl(int fd) : notifier(fd, QSocketNotifier::Read) {}
    QObject context; // ends a pending call when the watch goes
    QSocketNotifier notifier;
};

CDescriptorWatch::CDescriptorWatch(int fd, std::function<void()> readable)
    : m_impl(std::make_unique<Impl>(fd)) {
    // The callback may well destroy this watch: it runs after the notifier's signal is done.
    QObject::connect(&m_impl->notifier, &QSocketNotifier::activated, &m_impl->context,
                     [this, readable = std::move(readable)] {
                         m_impl->notifier.setEnabled(false);
                         QTimer::singleShot(0, &m_impl->context, readable);
                     });
}

CDescriptorWatch::~CDescriptorWatch() = default;
