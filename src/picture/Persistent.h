// Root of the assignable picture and raster classes: an object can be filled
// from another with Assign, which falls back to the source's AssignTo.
#pragma once

#include <functional>
#include <string>

#include "util/Exception.h"

namespace corvane {

class TPersistent;
using TNotifyEvent = std::function<void(TPersistent* sender)>;

// Failed assignment: "Cannot assign a <source class> to a <target class>".
class EConvertAssign : public Exception {
  public:
    using Exception::Exception;
};

class TPersistent {
  public:
    virtual ~TPersistent() = default;
    virtual std::string ClassName() const = 0;

    // Fills this object from Source; the default asks Source to AssignTo this.
    virtual void Assign(const TPersistent* source);

  protected:
    // Fills Dest from this object; the default fails with "Cannot assign".
    virtual void AssignTo(TPersistent* dest) const;
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

}  // namespace corvane
