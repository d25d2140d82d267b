#pragma once

class QLabel;
class QWidget;

// A label for texts that come from hosts and servers: plain text, never
// markup, found by its object name.
QLabel* vyPlainLabel(const char* objectName, QWidget* parent);
