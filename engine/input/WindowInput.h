// Connects the engine window's messages to the keyboard and mouse devices: key messages feed
// the key-state table, button messages the mouse buttons and their key entries, the wheel the
// mouse's notch count. The fatal exit releases every key through the same connection.
#pragma once

// Installs the connection; engine start-up does it once.
void bz_Input_AttachWindow();
