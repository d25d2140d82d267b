#pragma once

#include "Halvex/Views/VySSHSidebarViewController.h"
#include "SidebarHostStore.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QLabel;
class QWidget;

// A host for the entry-list sidebar, for trying it and for its pictures:
// entries in memory, the case-insensitive matcher, smart groups in a file of
// the host's own, import and export through file panels.
class SidebarHost : public QObject, public VySSHSidebarViewControllerDelegate {
    Q_OBJECT

public:
    SidebarHost(QVariantList entries, QString smartGroupPath, QObject* parent = nullptr);
    ~SidebarHost() override;

    // A few servers to show.
    static QVariantList sampleEntries();

    VySSHSidebarViewController& sidebar() { return *sidebar_; }
    HostSmartGroupFile& smartGroupFile() { return file_; }
    const QVariantList& entries() const { return entries_; }
    // The window with the sidebar and a status line (made on first use).
    QWidget* window();
    QLabel* statusLine() const { return status_; }

    QVariantList vysb_fetchTableContent() override { return entries_; }
    void vysb_saveTableContent(const QVariantList& items) override { entries_ = items; }
    // The file's groups, each with the count of entries its search matches.
    VySmartGroupList vysb_fetchSmartGroups() override;
    void vysb_saveSmartGroups(const VySmartGroupList& groups) override;
    QVariantList vysb_filteringItemsWithText(const QString& text) override;
    void vysb_tableDoubleClicked(const QVariantList& items) override;
    void vysb_tableDidEndEditing() override;
    void vysb_tableSelectionDidChange(const QVariantList& selected, const QVariant& last,
                                      const QVariant& beforeLast) override;
    void vysb_importSmartGroups() override;
    void vysb_exportSmartGroups() override;

    // Adds the groups of another file whose search texts are new here;
    // false (changing nothing) when the file cannot be read as groups.
    bool importSmartGroupsFromFile(const QString& path);
    bool exportSmartGroupsToFile(const QString& path);

private:
    void setStatus(const QString& text);

    QVariantList entries_;
    HostSmartGroupFile file_;
    VySmartGroupList groups_;
    std::unique_ptr<VySSHSidebarViewController> sidebar_;
    QPointer<QWidget> window_;
    QLabel* status_ = nullptr;
};
