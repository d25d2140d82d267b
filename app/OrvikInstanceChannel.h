#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// The channel through which a second launch of the program hands over to
// the one already running: a local socket per user and per store (its path
// follows the user-defaults file), listened on by the first program. A
// second launch connects, asks the first to reopen its window, and ends.
//
// The socket lives in $XDG_RUNTIME_DIR (else the temporary folder), is open
// to its owner only, and is trusted only when its owner is this user. A
// socket left by a program that died is replaced. A lock file around the
// check and the listen keeps two launches at once from both listening.
// GUI thread only (claim may run on any one thread of its own).
class OrvikInstanceChannel : public QObject {
    Q_OBJECT

public:
    enum class Role {
        primary,    // listening: this program runs and hears later launches
        handedOver, // another program of this user and store was asked to reopen
        standalone, // neither: this program runs, and no later launch reaches it
    };

    explicit OrvikInstanceChannel(QString socketPath, QObject* parent = nullptr);
    ~OrvikInstanceChannel() override;

    // The socket of this user's program over the standard user defaults.
    static QString defaultSocketPath();

    // Hands over to a running program, or becomes the one that listens.
    Role claim();
    bool isListening() const;
    const QString& socketPath() const { return socketPath_; }

signals:
    // A later launch asked for the window.
    void reopenRequested();

private:
    bool handOver();
    bool listen();
    void readRequest(class QLocalSocket* socket);

    QString socketPath_;
    QLocalServer* server_ = nullptr;
};
