#include "ticker.h"

#include <QTimer>

struct CTicker::Impl {
    QTimer timer;
};

CTicker::CTicker(std::chrono::milliseconds interval, std::function<void()> tick)
    : m_impl(std::make_unique<Impl>()) {
    QObject::connect(&m_impl->timer, &QTimer::timeout, std::move(tick));
    m_impl->timer.start(interval);
}

CTicker::~CTicker() = default;
