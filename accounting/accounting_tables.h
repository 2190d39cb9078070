#pragma once

#include <array>

#include "accounting/finance.h"
#include "accounting/wood_products.h"
#include "inventory/projection_output.h"

// The tables "products" and "finance" of the SQLite output.
namespace arbora {

extern const OutputTable productsTable;
extern const OutputTable financeTable;

// The rows in their tables' column order. The texts point into the rows.
std::array<OutputValue, 6> productsValues(const ProductsRow& row);
std::array<OutputValue, 12> financeValues(const FinanceRow& row);

}  // namespace arbora
