// Small helpers that build the window's widgets with their object names,
// by which tests and the render find them.
#pragma once

#include <QPushButton>
#include <QString>
#include <string>

#include "app/Image32.h"

namespace corvane {

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

template <class T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

// A button that Enter in a text field never presses.
inline QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption,
                               const char* toolTip = nullptr) {
    auto* button = Named(new QPushButton(caption, parent), name);
    button->setAutoDefault(false);
    if (toolTip != nullptr) button->setToolTip(toolTip);
    return button;
}

// A picture view that scales its picture into the space it is given.
inline TImage32* MakeView(QWidget* parent, const char* name, const char* toolTip = nullptr) {
    auto* view = Named(new TImage32(parent), name);
    view->SetBitmapAlign(TBitmapAlign::baCenter);
    view->SetScale(1.0f);
    view->SetScaleMode(TScaleMode::smResize);
    view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    view->setMinimumSize(64, 48);
    if (toolTip != nullptr) view->setToolTip(toolTip);
    return view;
}

}  // namespace corvane
