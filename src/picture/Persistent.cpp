#include "picture/Persistent.h"

namespace corvane {

void TPersistent::Assign(const TPersistent* source) {
    if (source == nullptr) AssignError(nullptr);
    source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) const {
    dest->AssignError(this);
}

void TPersistent::AssignError(const TPersistent* source) const {
    const std::string sourceName = source ? source->ClassName() : "nil";
    throw EConvertAssign("Cannot assign a " + sourceName + " to a " + ClassName());
}

}  // namespace corvane
