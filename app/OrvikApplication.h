#pragma once

#include <memory>

class MainWindowController;
class QApplication;

// The launch steps the application's windows need, in order: the main queue
// on Qt's event loop, the application's identity in its preferences, the key
// store's cache, the framework's value transformers. Once per process, on the
// GUI thread, after the QApplication exists.
void OrvikPrepareLaunch();

// The main window with the engine's questions (host keys) asked over it.
std::unique_ptr<MainWindowController> OrvikMakeMainWindow();

// Launches the application and runs it until it quits: the program's main.
int OrvikRunApplication(QApplication& application);
