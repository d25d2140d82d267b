#include "Halvex/Views/VySmartGroup.h"

#include "Wendle/WendleStrings.h"

const QString kSmartGroupName = QStringLiteral("smartGroupName");
const QString kSmartGroupSearchText = QStringLiteral("smartGroupSearchText");
const QString kSmartGroupHitCount = QStringLiteral("smartGroupHitCount");

bool vyTextHasWords(const QString& text) {
    return !wendle_componentsSeparatedByString(text.toStdString(), " ").empty();
}

QString vySmartGroupName(const VySmartGroup& group) {
    return group.value(kSmartGroupName).toString();
}

QString vySmartGroupSearchText(const VySmartGroup& group) {
    return group.value(kSmartGroupSearchText).toString();
}

unsigned long long vySmartGroupHitCount(const VySmartGroup& group) {
    bool ok = false;
    const unsigned long long count = group.value(kSmartGroupHitCount).toULongLong(&ok);
    return ok ? count : 0;
}

qsizetype vyIndexOfSmartGroupWithSearchText(const VySmartGroupList& groups, const QString& text) {
    for (qsizetype i = 0; i < groups.size(); ++i)
        if (vySmartGroupSearchText(groups[i]).compare(text, Qt::CaseInsensitive) == 0) return i;
    return -1;
}
