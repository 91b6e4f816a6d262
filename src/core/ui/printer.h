// The program's one printer: printer setup edits it, and every printout uses it, as the Windows
// program used the one printer device.
#pragma once

class QPrinter;

namespace pulpex {

// Created on first use (a QApplication must exist) and kept to the end of the program.
QPrinter& SharedPrinter();

}  // namespace pulpex
