#pragma once
// The screen's mouse pointer of the windowed program: the busy pointer that the toolkit's long
// administration members and the access-right copy ask for through util::setScreenMousePointer.

namespace csql::gui {

// Installs the pointer (the application's override cursor) for the life of the program.
void installMousePointer();
void removeMousePointer();

}  // namespace csql::gui
