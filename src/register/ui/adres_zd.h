// The correspondent of an event on a page of its window: the address fields of ADRESY, read-only
// except the first name, as the register's windows show them.
#pragma once

class QVBoxLayout;
class QWidget;

namespace pulpex {

class TTableDataSet;

// Puts the fields of `tAdresy` on `page` and returns the page's layout (callers add their
// buttons below the fields).
QVBoxLayout* BudujStroneAdresu(QWidget* page, TTableDataSet* tAdresy);

}  // namespace pulpex
