#pragma once

#include "config/projectentry.h"
#include "ui/widgets/rowlist.h"

// The project editor's list: per entry a default star, the alias over its path and a remove
// button, with inset dividers between rows. It only shows entries and says what was asked.
namespace dorv {

class ProjectListView : public RowList {
    Q_OBJECT
public:
    explicit ProjectListView(QWidget *parent = nullptr);

    void showEntries(const QList<ProjectEntry> &entries);

Q_SIGNALS:
    void defaultRequested(QUuid id);
    void removeRequested(QUuid id);

protected:
    QWidget *createRow(QWidget *viewport) override;
    void bindRow(QWidget *row, int index) override;
    int measureRow(int index, int width) const override;
    QList<QWidget *> focusStops(QWidget *row) const override;

private:
    QList<ProjectEntry> m_entries;
};

} // namespace dorv
