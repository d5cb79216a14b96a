#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>
#include <QVector>

// A read-only table of texts whose first column is a hidden id by which rows are found. It also
// keeps the list's selected row: the engine selects the row whose cell it changes, and the view
// follows the rowSelected signal (and reports the user's choice with setSelectedRow).
class TextTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TextTableModel(const QStringList& headers, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    // The row whose id cell equals `id` exactly, or -1.
    int findRow(const QString& id) const;
    QString cell(int row, int column) const;
    QStringList rowTexts(int row) const { return m_rows.value(row); }
    void setCell(int row, int column, const QString& text);
    void appendRow(const QStringList& cells);
    void appendRows(const QVector<QStringList>& rows);
    void insertTopRow(const QStringList& cells);
    // Writes `column` of every row in one pass: the text of the row's id in `texts`, empty for
    // an id it does not hold. The selection does not move.
    void setColumnOfIds(int column, const QHash<QString, QString>& texts);
    void clear();

    // Sorts by the texts of `column` (locale-aware, case-sensitive); the selection stays on its row.
    // A numeric column sorts by value: texts that begin with a number ("8080", "123 ms",
    // "99.3 %") in number order, after the texts that do not (such as "---" for no port), which
    // sort among themselves as texts.
    void sortByColumn(int column, bool descending);
    void setNumericColumns(const QList<int>& columns) { m_numericColumns = columns; }

    int selectedRow() const { return m_selected; }
    // Selects `row` (-1 for none) and emits rowSelected.
    void setSelectedRow(int row);
    // Selects the row of `id` and writes `text` into its `column`; false when no row has that id.
    bool setCellOfId(const QString& id, int column, const QString& text);
    // Writes `text` into `column` of the row of `id`, leaving the selection where it is; false
    // when no row has that id.
    bool updateCellOfId(const QString& id, int column, const QString& text);
    // The tool tip of a cell, kept by row id (ToolTipRole); an empty text removes it. Cells have
    // no tool tip of their own otherwise; clear() removes all.
    void setToolTipOfId(const QString& id, int column, const QString& text);
    QString toolTipOfId(const QString& id, int column) const;

signals:
    void rowSelected(int row);

private:
    QStringList m_headers;
    QVector<QStringList> m_rows;
    QList<int> m_numericColumns;
    QHash<QString, QHash<int, QString>> m_toolTips; // by row id, then column
    int m_selected = -1;
    // The first row of each id, made again after any change of the rows or their ids, so that a
    // lookup by id does not walk a list of thousands of rows.
    mutable QHash<QString, int> m_rowOfId;
    mutable bool m_rowOfIdValid = false;
};
