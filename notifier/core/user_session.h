#pragma once

#include <QString>

// The user signed in to the Quillon reader, as its session file named them when this run began.
class UserSession {
public:
    // The one session of the program.
    static UserSession& instance();

    // The reader's folder under the user's Documents folder, forward slashes, no trailing
    // slash; empty when the system names no Documents folder.
    static QString dataFolderPath();

    // Reads uid and accountName from the reader's session file; anything missing stays empty.
    void loadFromFile();

    // A fresh temporary session for signing the user in to a page. `error` is 0 on success and
    // when there was no one to ask for; otherwise the GET helper's status.
    QString requestTempSession(int* error) const;

    // Opens base URL + `target` in the browser, signed in when a temporary session can be had.
    void openJumpLink(const QString& target) const;

    // URL of the temporary-session request: user values percent-encoded.
    QString tempSessionUrl() const;
    // The signed-in jump: the session percent-encoded, the target path as it stands.
    static QString skipUrl(const QString& session, const QString& target);

    QString uid;
    QString accountName;

    static constexpr int kTempSessionTimeoutMs = 4000;
};
