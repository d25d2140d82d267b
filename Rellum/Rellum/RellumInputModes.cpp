#include "Rellum/RellumInputModes.h"

#include "Rellum/RellumContext.h"

RellumInputModes RellumInputModesFromContext(const RellumContext& context) {
    RellumInputModes modes;
    modes.applicationCursorKeyMode = context.applicationCursorKeyMode();
    modes.applicationKeypadMode = context.applicationKeypadMode();
    modes.alternateScreenMode = context.alternateScreenMode();
    modes.autoRepeatMode = context.autoRepeatMode();
    modes.mouseReportType = context.mouseReportType();
    modes.mouseReportProtocol = context.mouseReportProtocol();
    modes.focusReportMode = context.focusReportMode();
    modes.bracketedPasteMode = context.bracketedPasteMode();
    return modes;
}
