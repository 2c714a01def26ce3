#pragma once

class QWidget;

namespace tessaly {

// Moves a window to the middle of the screen it will appear on.
void CenterOnScreen(QWidget* window);

// The program's icon, shared by the main, About and welcome windows.
void SetProgramIcon(QWidget* window);

}  // namespace tessaly
