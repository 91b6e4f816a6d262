// Printing text on the program's printer, and the fonts the user chose for it.
//
// Every printout of the program goes one way: ChoosePrintTarget() makes sure the printer can
// print (a PDF printer without a file asks "Zapisz jako PDF" for one), a TTextPrinter draws lines
// from the top of the printable area down, wrapping a line too wide for the page and starting a
// new page when the next line would not fit, so that nothing is cut off or lost.
//
//   TTextPrinter p(SharedPrinter());
//   if (!p.Begin()) return;        // the user has been told why
//   p.SetFont(font, color);
//   for (const QString& line : lines) p.PrintLine(line);
//   p.End();
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <memory>

class QPrinter;

namespace pulpex {

// A font kept in a section of the user's Pulpex.ini (UserIniPath()): "Nazwa" (default
// "Fixedsys"), "Rozmiar" in points (default 9) and "Kolor", the Windows colour value 0x00BBGGRR
// (default 0, black).
struct TStoredFont {
    QFont font;
    QColor color;
};
// A value that is not a whole number falls back to its default (a hand-edited file must not
// keep a window from opening).
TStoredFont ReadStoredFont(const QString& section);
// False when the file cannot be written.
bool WriteStoredFont(const QString& section, const QFont& font, const QColor& color);
// The Windows colour value 0x00BBGGRR and back.
QColor ColorFromColorRef(int value);
int ColorRefFromColor(const QColor& color);

// Makes `printer` ready for a job. A PDF printer without an output file asks for one with the
// save dialog "Zapisz jako PDF" (and whether to replace an existing file); `*asked` tells the
// caller that the name was asked for this job only. False when the user cancelled.
bool ChoosePrintTarget(QPrinter& printer, bool* asked = nullptr);

class TTextPrinter {
  public:
    // Lines start this many printer pixels from the left and top of the printable area.
    static constexpr qreal kMargin = 10;
    // A line advances the position by this many times its height.
    static constexpr qreal kLineSpacing = 1.1;

    explicit TTextPrinter(QPrinter& printer);
    ~TTextPrinter();  // ends a job still running
    TTextPrinter(const TTextPrinter&) = delete;
    TTextPrinter& operator=(const TTextPrinter&) = delete;

    // Chooses the target (ChoosePrintTarget) and starts the job. False when cancelled or when
    // the printer cannot print (the user has been told).
    bool Begin();
    bool Active() const { return painter_ != nullptr; }
    // The painter of the running job, for printouts that draw more than lines.
    QPainter& Painter() { return *painter_; }
    // The font given in points is scaled to the printer's resolution by the painter, so that a
    // printout is as large as the text was on the screen.
    void SetFont(const QFont& font, const QColor& color = Qt::black);
    // The printable area in printer pixels, its top left corner at (0, 0).
    QRectF Area() const;
    qreal Y() const { return y_; }
    void SetY(qreal y) { y_ = y; }
    // Height of one line of the current font (a blank measured), before the spacing.
    qreal LineHeight() const;
    // Starts a new page unless a block `height` high still fits below the current position.
    void EnsureRoom(qreal height);
    void NewPage();
    // Prints one line at the left margin and moves down; tabs stand for blanks up to the next
    // multiple of 8 columns. A line wider than the page wraps (at a blank where it can), each
    // piece a printed line of its own.
    void PrintLine(const QString& text);
    int PageCount() const { return pages_; }
    // Ends the job; false when the printer reported a failure (the user has been told).
    bool End();

  private:
    QPrinter& printer_;
    std::unique_ptr<QPainter> painter_;
    QFont font_;
    QColor color_ = Qt::black;
    qreal y_ = kMargin;
    int pages_ = 0;
    bool askedFile_ = false;
};

// Prints `lines` in `font` (TTextPrinter); false when nothing was printed.
bool PrintLines(QPrinter& printer, const QStringList& lines, const QFont& font,
                const QColor& color = Qt::black);

// A PDF printer with the paper, orientation and margins of `printer` and no file yet, so that
// TTextPrinter::Begin() asks for one ("Zapisz jako PDF"): a printout can always go to a PDF file,
// whatever printer is set up.
std::unique_ptr<QPrinter> PdfPrinterLike(const QPrinter& printer);

// How many of `lines` are wider than the printable width of `printer` in `font`: these wrap
// when printed, which breaks a drawn table apart.
int LinesWiderThanPage(QPrinter& printer, const QStringList& lines, const QFont& font);
// The largest size in points, in half points and at least 4, at which every line of `lines` fits
// the printable width of `printer` in `font`; 0 when none does.
qreal PointSizeToFit(QPrinter& printer, const QStringList& lines, const QFont& font);

}  // namespace pulpex
