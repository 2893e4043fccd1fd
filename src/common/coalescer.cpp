#include "common/coalescer.h"

namespace dorv {

Coalescer::Coalescer(QObject *parent, std::function<void()> refresh)
    : QObject(parent), m_refresh(std::move(refresh))
{
}

void Coalescer::request()
{
    if (m_pending)
        return;
    m_pending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_pending)
                return;
            m_pending = false;
            m_refresh();
        },
        Qt::QueuedConnection);
}

} // namespace dorv
