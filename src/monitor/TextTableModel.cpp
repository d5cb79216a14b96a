#include "monitor/TextTableModel.h"

#include <algorithm>

namespace {

// The number a cell begins with ("8080", "123 ms", "99.3 %"); false when it begins with none.
double leadingNumber(const QString& text, bool* ok)
{
    const QString trimmed = text.trimmed();
    const int blank = trimmed.indexOf(QLatin1Char(' '));
    const QString number = blank < 0 ? trimmed : trimmed.left(blank);
    *ok = !number.isEmpty() && (number.at(0).isDigit() || number.at(0) == QLatin1Char('-'));
    if (!*ok)
        return 0;
    return number.toDouble(ok);
}

int compareAsNumbers(const QString& a, const QString& b)
{
    bool aIsNumber = false;
    bool bIsNumber = false;
    const double x = leadingNumber(a, &aIsNumber);
    const double y = leadingNumber(b, &bIsNumber);
    if (aIsNumber && bIsNumber)
        return x < y ? -1 : (x > y ? 1 : 0);
    if (aIsNumber != bIsNumber)
        return aIsNumber ? 1 : -1;
    return QString::localeAwareCompare(a, b);
}

} // namespace

TextTableModel::TextTableModel(const QStringList& headers, QObject* parent)
    : QAbstractTableModel(parent), m_headers(headers)
{
}

int TextTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int TextTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_headers.size();
}

QVariant TextTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    if (role == Qt::DisplayRole)
        return cell(index.row(), index.column());
    if (role == Qt::ToolTipRole) {
        const QString tip = toolTipOfId(cell(index.row(), 0), index.column());
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    return QVariant();
}

QVariant TextTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_headers.size())
        return m_headers.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool TextTableModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > m_rows.size())
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    m_rows.remove(row, count);
    m_rowOfIdValid = false;
    endRemoveRows();
    if (m_selected >= row + count)
        m_selected -= count;
    else if (m_selected >= row)
        m_selected = -1;
    return true;
}

int TextTableModel::findRow(const QString& id) const
{
    if (!m_rowOfIdValid) {
        m_rowOfId.clear();
        m_rowOfId.reserve(m_rows.size());
        for (int i = m_rows.size() - 1; i >= 0; --i) {
            if (!m_rows[i].isEmpty())
                m_rowOfId.insert(m_rows[i].first(), i);
        }
        m_rowOfIdValid = true;
    }
    return m_rowOfId.value(id, -1);
}

QString TextTableModel::cell(int row, int column) const
{
    if (row < 0 || row >= m_rows.size())
        return QString();
    return m_rows[row].value(column);
}

void TextTableModel::setCell(int row, int column, const QString& text)
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_headers.size())
        return;
    QStringList& cells = m_rows[row];
    while (cells.size() <= column)
        cells.append(QString());
    cells[column] = text;
    if (column == 0)
        m_rowOfIdValid = false;
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at);
}

void TextTableModel::appendRow(const QStringList& cells)
{
    beginInsertRows(QModelIndex(), m_rows.size(), m_rows.size());
    m_rows.append(cells);
    m_rowOfIdValid = false;
    endInsertRows();
}

void TextTableModel::appendRows(const QVector<QStringList>& rows)
{
    if (rows.isEmpty())
        return;
    beginInsertRows(QModelIndex(), m_rows.size(), m_rows.size() + rows.size() - 1);
    m_rows += rows;
    m_rowOfIdValid = false;
    endInsertRows();
}

void TextTableModel::insertTopRow(const QStringList& cells)
{
    beginInsertRows(QModelIndex(), 0, 0);
    m_rows.prepend(cells);
    m_rowOfIdValid = false;
    endInsertRows();
    if (m_selected >= 0)
        ++m_selected;
}

void TextTableModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_rowOfIdValid = false;
    m_toolTips.clear();
    m_selected = -1;
    endResetModel();
}

void TextTableModel::sortByColumn(int column, bool descending)
{
    const QStringList selected = m_rows.value(m_selected);
    const bool numeric = m_numericColumns.contains(column);
    emit layoutAboutToBeChanged();
    m_rowOfIdValid = false;
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [column, descending, numeric](const QStringList& a, const QStringList& b) {
                         const int c = numeric
                                           ? compareAsNumbers(a.value(column), b.value(column))
                                           : QString::localeAwareCompare(a.value(column), b.value(column));
                         return descending ? c > 0 : c < 0;
                     });
    if (m_selected >= 0) {
        const auto it = std::find(m_rows.cbegin(), m_rows.cend(), selected);
        m_selected = it == m_rows.cend() ? -1 : int(it - m_rows.cbegin());
    }
    emit layoutChanged();
    if (m_selected >= 0)
        emit rowSelected(m_selected);
}

void TextTableModel::setColumnOfIds(int column, const QHash<QString, QString>& texts)
{
    if (column <= 0 || column >= m_headers.size() || m_rows.isEmpty())
        return;
    int first = -1;
    int last = -1;
    for (int row = 0; row < m_rows.size(); ++row) {
        QStringList& cells = m_rows[row];
        const QString text = texts.value(cells.value(0));
        if (cells.value(column) == text)
            continue;
        while (cells.size() <= column)
            cells.append(QString());
        cells[column] = text;
        if (first < 0)
            first = row;
        last = row;
    }
    if (first >= 0)
        emit dataChanged(index(first, column), index(last, column));
}

void TextTableModel::setSelectedRow(int row)
{
    m_selected = row >= 0 && row < m_rows.size() ? row : -1;
    emit rowSelected(m_selected);
}

bool TextTableModel::setCellOfId(const QString& id, int column, const QString& text)
{
    const int row = findRow(id);
    if (row < 0)
        return false;
    setSelectedRow(row);
    setCell(row, column, text);
    return true;
}

bool TextTableModel::updateCellOfId(const QString& id, int column, const QString& text)
{
    const int row = findRow(id);
    if (row < 0)
        return false;
    setCell(row, column, text);
    return true;
}

void TextTableModel::setToolTipOfId(const QString& id, int column, const QString& text)
{
    if (text.isEmpty()) {
        auto it = m_toolTips.find(id);
        if (it == m_toolTips.end() || !it->remove(column))
            return;
        if (it->isEmpty())
            m_toolTips.erase(it);
    } else {
        m_toolTips[id][column] = text;
    }
    const int row = findRow(id);
    if (row >= 0) {
        const QModelIndex at = index(row, column);
        emit dataChanged(at, at, {Qt::ToolTipRole});
    }
}

QString TextTableModel::toolTipOfId(const QString& id, int column) const
{
    const auto it = m_toolTips.constFind(id);
    return it == m_toolTips.cend() ? QString() : it->value(column);
}
