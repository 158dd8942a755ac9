#pragma once

#include <QString>

#include <memory>

class QLockFile;

// One copy of the notifier per user. The operating system lets go of the guard with its
// process, so a crashed or killed run never blocks the next one.
class InstanceGuard {
public:
    InstanceGuard();
    ~InstanceGuard();

    // False when another live copy holds the guard.
    bool acquire();

    // The lock file: in the user's runtime folder, else the temporary folder with the user's id.
    static QString lockPath();

private:
    std::unique_ptr<QLockFile> m_lock;
};
