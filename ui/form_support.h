#pragma once

#include <QString>
#include <functional>

class QObject;
class QWidget;

namespace tessaly {

// Runs `handler` on each click of `control` (a skinned button, a label or a
// picture). The handler stops at its first failing step, and the failure goes
// no further: nothing a handler does may end the program.
void OnClick(QWidget* control, QObject* receiver, std::function<void()> handler);

// The same, for a window's own handler: OnClick(this, controls_, "qued", &frmAbout::qued_Click).
template <class Form, class Controls>
void OnClick(Form* form, const Controls& controls, const char* name, void (Form::*handler)()) {
    OnClick(controls[QString::fromLatin1(name)], form, [form, handler] { (form->*handler)(); });
}

// Moves a window to the middle of the screen it will appear on.
void CenterOnScreen(QWidget* window);

// The program's icon, shared by the main, About and welcome windows.
void SetProgramIcon(QWidget* window);

}  // namespace tessaly
