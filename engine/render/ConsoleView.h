// The console's window on screen: the panel with its bevelled edge, the text from the scroll
// start, the input line with its blinking cursor, and the layout over the screen size.
#pragma once

// Lays the console window out over the current screen size.
void bz_Console_Layout();

// Lets the console draw itself through this view and measure its font; engine start-up does
// it once.
void bz_ConsoleView_Attach();
