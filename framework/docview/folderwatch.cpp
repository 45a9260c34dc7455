#include "folderwatch.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QTimer>

namespace {

// A compiler writes, renames and sets modes in a burst; one look after it is enough.
constexpr int kSettleMs = 150;

} // namespace

struct CFolderWatch::Impl {
    QFileSystemWatcher watcher;
    QTimer settle;
    std::vector<std::string> folders;
};

CFolderWatch::CFolderWatch(std::function<void()> changed) : m_impl(std::make_unique<Impl>()) {
    m_impl->settle.setSingleShot(true);
    m_impl->settle.setInterval(kSettleMs);
    QObject::connect(&m_impl->settle, &QTimer::timeout, [this, changed = std::move(changed)] {
        Watch(m_impl->folders); // files came and went
        changed();
    });
    const auto restart = [this] { m_impl->settle.start(); };
    QObject::connect(&m_impl->watcher, &QFileSystemWatcher::directoryChanged, restart);
    QObject::connect(&m_impl->watcher, &QFileSystemWatcher::fileChanged, restart);
}

CFolderWatch::~CFolderWatch() = default;

void CFolderWatch::Watch(const std::vector<std::string>& folders) {
    m_impl->folders = folders;
    QFileSystemWatcher& watcher = m_impl->watcher;
    if (!watcher.files().isEmpty())
        watcher.removePaths(watcher.files());
    if (!watcher.directories().isEmpty())
        watcher.removePaths(watcher.directories());
    for (const std::string& folder : folders) {
        const QString path = QString::fromStdString(folder);
        QDir().mkpath(path);
        watcher.addPath(path);
        const QDir dir(path);
        for (const QString& file : dir.entryList(QDir::Files))
            watcher.addPath(dir.filePath(file));
    }
}
