// A grid column's texts, for the plain functions that work on lists of texts.
#pragma once

#include "Core.h"

#include <QStringList>

// Column `column`, rows 0 to rows - 1.
inline QStringList ColumnTexts(const QTableWidget* grid, int column, int rows)
{
    QStringList texts;
    for (int row = 0; row < rows; ++row)
        texts.append(CellText(grid, column, row));
    return texts;
}
