#include "ViewRenderThread.h"

#include "model/Parallel.h"
#include "render/RenderScene.h"

#include <QMetaObject>

namespace dv {

int ViewRenderThread::bandCount() {
    return workerCount();
}

ViewRenderThread::ViewRenderThread(QObject* parent) : QObject(parent) {
    qRegisterMetaType<dv::ViewTransform>();
    m_worker = std::thread([this] { run(); });
}

ViewRenderThread::~ViewRenderThread() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_pending.reset();
        m_cancel = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

uint64_t ViewRenderThread::request(Job job) {
    uint64_t number;
    {
        std::lock_guard lock(m_mutex);
        number = ++m_pendingNumber;
        m_latest = number;
        m_pending = std::move(job);
        m_cancel = true; // the job drawing now, if any, is stale
    }
    m_wake.notify_all();
    return number;
}

void ViewRenderThread::cancelAll() {
    std::lock_guard lock(m_mutex);
    m_latest = ++m_pendingNumber;
    m_pending.reset();
    m_cancel = true;
}

bool ViewRenderThread::hasPending() {
    std::lock_guard lock(m_mutex);
    return m_pending.has_value();
}

void ViewRenderThread::run() {
    while (true) {
        Job job;
        uint64_t number;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || m_pending; });
            if (m_quit)
                return;
            job = std::move(*m_pending);
            m_pending.reset();
            number = m_pendingNumber;
            m_cancel = false;
        }
        QImage image(job.size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
        RenderOptions options = job.options;
        options.cancel = &m_cancel;
        const RenderStats stats =
            renderInBands(*job.scene, image, job.view, job.layout, options, bandCount());
        if (stats.cancelled || number != m_latest.load())
            continue;
        // Queued: the receiver checks the number again, as a newer job may
        // have been asked for while this one was on its way.
        QMetaObject::invokeMethod(
            this,
            [this, number, image = std::move(image), view = job.view] {
                if (number == m_latest.load())
                    emit finished(number, image, view);
            },
            Qt::QueuedConnection);
        // The first picture did without the trees; a closer view will not.
        if (!hasPending())
            job.scene->packTrees();
        job.scene.reset(); // the document may go with the GUI thread's last reference
    }
}

} // namespace dv
