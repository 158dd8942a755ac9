#pragma once

// Draws the control's views on a worker thread, one at a time, so the
// window keeps answering while a large drawing is drawn. A newer view
// cancels the one being drawn; only the picture of the newest view is
// handed back.

#include "render/Renderer.h"
#include "render/ViewTransform.h"

#include <QImage>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace dv {

class RenderScene;

class ViewRenderThread : public QObject {
    Q_OBJECT
public:
    struct Job {
        std::shared_ptr<const RenderScene> scene; // every block indexed already
        ViewTransform view;                       // viewport at (0, 0), the image's size
        int layout = 0;
        RenderOptions options;
        QSize size;
    };

    explicit ViewRenderThread(QObject* parent = nullptr);
    ~ViewRenderThread() override; // cancels what is drawing and waits for it

    // Starts drawing `job`, cancelling any older one; returns its number.
    uint64_t request(Job job);
    // Forgets every job; no picture of them will be handed back.
    void cancelAll();
    // One band per core the machine has, within reason.
    static int bandCount();
    // The number of the newest job.
    uint64_t latest() const { return m_latest.load(); }

signals:
    // On the thread the object lives in; `job` is the number request() gave.
    void finished(quint64 job, QImage image, dv::ViewTransform view);

private:
    bool hasPending();
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Job> m_pending;
    uint64_t m_pendingNumber = 0;
    bool m_quit = false;
    std::atomic<bool> m_cancel{false};
    std::atomic<uint64_t> m_latest{0};
    std::thread m_worker;
};

} // namespace dv
