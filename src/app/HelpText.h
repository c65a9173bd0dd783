// The text of the Help tab: what the program does, the workflow, the
// settings, the keys and a legend of the pair view's hint labels.
#pragma once

#include <QString>

namespace corvane {

QString HelpHtml();

}  // namespace corvane
