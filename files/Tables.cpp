#include "files/Tables.h"

void LookupTableDeleter::operator()(LookupTable* table) const noexcept {
    delete table;
}
