#include "core/ui/printer.h"

#include <QPrinter>
#include <memory>

namespace pulpex {

QPrinter& SharedPrinter() {
    static std::unique_ptr<QPrinter> printer = std::make_unique<QPrinter>();
    return *printer;
}

}  // namespace pulpex
