#pragma once

// A scripted host for the sidebar tests: string entries, a case-insensitive
// matcher (every word of the text contained), smart groups in memory, and a
// record of every save and selection report.
#include "Halvex/Views/VySSHSidebarViewController.h"
#include "Halvex/Views/VySidebarTableModel.h"

#include <QStringList>
#include <QVariantList>

#include <functional>
#include <ostream>
#include <vector>

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}
inline void PrintTo(const QVariant& v, std::ostream* os) {
    *os << (v.isValid() ? v.toString().toStdString() : std::string("nil"));
}

namespace sidebar_test {

inline QVariantList entries(const QStringList& names) {
    QVariantList list;
    for (const QString& name : names)
        list.append(name);
    return list;
}

inline QStringList names(const QVariantList& list) {
    QStringList out;
    for (const QVariant& v : list)
        out.append(v.toString());
    return out;
}

struct SelectionReport {
    QStringList selected;
    QVariant last;
    QVariant beforeLast;
};

class RecordingDelegate : public VySSHSidebarViewControllerDelegate {
public:
    QVariantList content;
    VySmartGroupList groups;
    std::vector<QVariantList> savedContent;
    std::vector<VySmartGroupList> savedGroups;
    std::vector<SelectionReport> selections;
    std::vector<QString> filterTexts;
    std::vector<QVariantList> doubleClicked;
    int endEditingCount = 0;
    int importCount = 0;
    int exportCount = 0;
    std::function<void()> onSelectionChange;

    QVariantList vysb_fetchTableContent() override { return content; }
    void vysb_saveTableContent(const QVariantList& items) override {
        content = items;
        savedContent.push_back(items);
    }
    VySmartGroupList vysb_fetchSmartGroups() override { return groups; }
    void vysb_saveSmartGroups(const VySmartGroupList& list) override {
        groups = list;
        savedGroups.push_back(list);
    }
    QVariantList vysb_filteringItemsWithText(const QString& text) override {
        filterTexts.push_back(text);
        const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QVariantList found;
        for (const QVariant& entry : content) {
            bool all = true;
            for (const QString& w : words)
                all = all && entry.toString().contains(w, Qt::CaseInsensitive);
            if (all) found.append(entry);
        }
        return found;
    }
    void vysb_tableDoubleClicked(const QVariantList& items) override { doubleClicked.push_back(items); }
    void vysb_tableDidEndEditing() override { ++endEditingCount; }
    void vysb_tableSelectionDidChange(const QVariantList& selected, const QVariant& last,
                                      const QVariant& beforeLast) override {
        selections.push_back({names(selected), last, beforeLast});
        if (onSelectionChange) onSelectionChange();
    }
    void vysb_importSmartGroups() override { ++importCount; }
    void vysb_exportSmartGroups() override { ++exportCount; }
};

inline VySmartGroup group(const QString& name, const QString& text) {
    return {{kSmartGroupName, name}, {kSmartGroupSearchText, text}};
}

// What the table shows, row by row.
inline QStringList tableRows(const VySSHSidebarViewController& sidebar) {
    return names(sidebar.tableView()->rowsModel()->rows());
}

} // namespace sidebar_test
