#pragma once

#include <QIcon>
#include <QString>

// The application's toolbar images by name ("TBConnectButtonTemplate",
// "TBPullDownTemplate", "TBSidebarTemplate") and the keyboard pane's
// "preference-keyboard", drawn in the palette's text
// colour like template images; a null icon for any other name.
QIcon OrvikImageNamed(const QString& name);
