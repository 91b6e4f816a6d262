// Choosing an address in the address window ("Baza adresów") as a user does: the row that shows
// the text is clicked and "&OK" pressed.
#pragma once

#include <QAbstractItemModel>
#include <QString>

#include "controls/grid/cvdbgrid.h"
#include "support/widgets.h"

namespace pulpex::test {

inline void chooseAddress(QWidget* window, const QString& text) {
    auto* grid = child<TCV_DBGrid>(window, "dbgAdresy");
    ASSERT_NE(grid, nullptr);
    QTRY_VERIFY(grid->model()->rowCount() > 0);
    for (int r = 0; r < grid->model()->rowCount(); ++r)
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            if (grid->model()->index(r, c).data().toString().contains(text)) {
                ASSERT_TRUE(clickRow(grid, r));
                click(window, "btnOk");
                return;
            }
    ADD_FAILURE() << "no address " << text.toStdString();
}

}  // namespace pulpex::test
