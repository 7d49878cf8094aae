#pragma once
// The per-user single-instance lock: a lock file named after the program in
// the runtime directory, held from start to exit. A lock left by a crashed
// run (its process gone) does not block the next start.

#include <QLockFile>
#include <QString>
#include <memory>

namespace cvl::ui {

class SingleInstance {
public:
    explicit SingleInstance(const QString& name);
    // True when this process now holds the lock.
    bool acquire();
    static QString lockPath(const QString& name);

private:
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace cvl::ui
