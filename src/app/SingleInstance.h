#pragma once
// The per-user single-instance lock: a lock file named after the program in
// the runtime directory, held from start to exit. A lock left by a crashed
// run (its process gone) does not block the next start. The holder listens
// on a local socket beside the lock, so a second start can bring the running
// window to the front before it ends.

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace cvl::ui {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& name);
    ~SingleInstance() override;
    // True when this process now holds the lock; it then answers later starts.
    bool acquire();
    // From a second start: asks the running copy to come to the front; true
    // when it took the request.
    bool activateRunning();
    static QString lockPath(const QString& name);
    static QString socketPath(const QString& name);

signals:
    // A second start asked this copy's window to come to the front.
    void activationRequested();

private:
    QString name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

}  // namespace cvl::ui
