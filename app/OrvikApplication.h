#pragma once

class QApplication;

// The launch steps that come before the main window, in order: the main
// queue on Qt's event loop, the application's identity in its preferences,
// the utility framework's and the engine's resources, the key store's cache,
// the framework's value transformers, the application logger. Once per
// process, on the GUI thread, after the QApplication exists.
void OrvikPrepareLaunch();

// The program's main: hands over to an Orvik already running for this user
// and store (which shows its window) and ends, or launches the application
// and runs it until it quits.
int OrvikRunApplication(QApplication& application);
