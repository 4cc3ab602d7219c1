// Installs are one at a time: two would write the same fixed names in /tmp and run rpm
// on one database together. The lock is an flock on /run/stage3.lock as root (the
// user's runtime directory otherwise), held from writing the install files to their
// removal; the kernel lets it go when its holder dies.
#pragma once

#include "services/descriptor.h"

// The lock as a run holds it (one per run, in its InstallRun).
class InstallLock {
  public:
    // False when another install holds the lock. A lock file that cannot be opened as a
    // regular file of this user does not stop the install.
    bool take();
    void release() { file_.reset(); }
    // Whether this run holds the lock now.
    bool held() const { return file_.valid(); }

  private:
    Descriptor file_;
};
