#include "app/SingleInstance.h"

#include <QDir>
#include <QStandardPaths>

namespace cvl::ui {

QString SingleInstance::lockPath(const QString& name) {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return QDir(dir).filePath(name + QStringLiteral(".lock"));
}

SingleInstance::SingleInstance(const QString& name) : lock_(std::make_unique<QLockFile>(lockPath(name))) {
    lock_->setStaleLockTime(0);  // only a dead owner makes a lock stale, never its age
}

bool SingleInstance::acquire() { return lock_->tryLock(0); }

}  // namespace cvl::ui
