#include "snap/report/csv.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

std::string figureCsvText(const FigureTable* table) {
    std::string text = "frame";
    for (const FigureColumn& column : table->columns) text += std::string(",") + columnFigure(&column)->name;
    text += "\r\n";
    char cell[40];
    for (int64_t i = 0; i < table->frames; ++i) {
        snprintf(cell, sizeof cell, "%" PRId64, table->first + i);
        text += cell;
        for (const FigureColumn& column : table->columns) {
            const double value = size_t(i) < column.values->size() ? (*column.values)[size_t(i)] : NAN;
            text += ',';
            if (std::isfinite(value)) {
                snprintf(cell, sizeof cell, "%.17g", value);
                text += cell;
            }
        }
        text += "\r\n";
    }
    return text;
}
