#include "core/instance_guard.h"

#include <QDir>
#include <QLockFile>

#include <unistd.h>

InstanceGuard::InstanceGuard() = default;
InstanceGuard::~InstanceGuard() = default;

QString InstanceGuard::lockPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return runtime + QStringLiteral("/tidewell.lock");
    return QDir::tempPath() + QStringLiteral("/tidewell-%1.lock").arg(::getuid());
}

bool InstanceGuard::acquire() {
    m_lock = std::make_unique<QLockFile>(lockPath());
    // A holder that is no longer running is recognised by its process id and replaced.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    m_lock.reset();
    return false;
}
