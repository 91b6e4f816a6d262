#include "core/ui/print_text.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPrinter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "core/prompts.h"
#include "core/ui/fonts.h"
#include "core/utils.h"

namespace pulpex {

namespace {

const QString kNazwa = QStringLiteral("Nazwa");
const QString kRozmiar = QStringLiteral("Rozmiar");
const QString kKolor = QStringLiteral("Kolor");

int readInt(const QString& section, const QString& key, int def, const QString& file) {
    try {
        return IniReadInt(section, key, def, file);
    } catch (const EConvertError&) {
        return def;
    }
}

QString expandTabs(const QString& text) {
    if (!text.contains(QLatin1Char('\t'))) return text;
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (c == QLatin1Char('\t')) {
            do
                out += QLatin1Char(' ');
            while (out.size() % 8 != 0);
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

QColor ColorFromColorRef(int value) {
    const auto v = static_cast<unsigned>(value);
    return QColor(static_cast<int>(v & 0xFFu), static_cast<int>((v >> 8) & 0xFFu),
                  static_cast<int>((v >> 16) & 0xFFu));
}

int ColorRefFromColor(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

TStoredFont ReadStoredFont(const QString& section) {
    const QString file = UserIniPath();
    const QString name = IniReadString(section, kNazwa, QStringLiteral("Fixedsys"), file);
    const int size = readInt(section, kRozmiar, 9, file);
    const int color = readInt(section, kKolor, 0, file);
    return {StoredFont(name, size > 0 ? size : 9), ColorFromColorRef(color)};
}

bool WriteStoredFont(const QString& section, const QFont& font, const QColor& color) {
    const QString file = UserIniPath();
    const int points = font.pointSize() > 0 ? font.pointSize() : qRound(font.pointSizeF());
    return IniWriteString(section, kNazwa, font.family(), file) &&
           IniWriteString(section, kRozmiar, QString::number(points), file) &&
           IniWriteString(section, kKolor, QString::number(ColorRefFromColor(color)), file);
}

bool ChoosePrintTarget(QPrinter& printer, bool* asked) {
    if (asked) *asked = false;
    if (printer.outputFormat() != QPrinter::PdfFormat || !printer.outputFileName().isEmpty())
        return true;
    const QString path = prompts().saveFileName(QStringLiteral("Zapisz jako PDF"),
                                                QStringLiteral("Pliki PDF (*.pdf)|*.pdf"), {},
                                                QStringLiteral("pdf"));
    if (path.isEmpty()) return false;
    if (QFileInfo::exists(path) &&
        prompts().message(Severity::Confirmation,
                          QStringLiteral("Plik %1 już istnieje.\r\nCzy zastąpić go nowym?")
                              .arg(QDir::toNativeSeparators(path)),
                          Buttons::YesNo) != Answer::Yes)
        return false;
    printer.setOutputFileName(path);
    if (asked) *asked = true;
    return true;
}

TTextPrinter::TTextPrinter(QPrinter& printer) : printer_(printer) {}

TTextPrinter::~TTextPrinter() {
    if (painter_) End();
}

bool TTextPrinter::Begin() {
    if (!ChoosePrintTarget(printer_, &askedFile_)) return false;
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(&printer_)) {
        painter_.reset();
        const QString target = printer_.outputFileName();
        if (askedFile_) printer_.setOutputFileName({});
        prompts().message(Severity::Error,
                          target.isEmpty()
                              ? QStringLiteral("Nie można rozpocząć drukowania na drukarce %1.")
                                    .arg(printer_.printerName())
                              : QStringLiteral("Nie można zapisać wydruku do pliku %1.")
                                    .arg(QDir::toNativeSeparators(target)));
        return false;
    }
    pages_ = 1;
    y_ = kMargin;
    SetFont(font_, color_);
    return true;
}

void TTextPrinter::SetFont(const QFont& font, const QColor& color) {
    font_ = font;
    color_ = color;
    if (!painter_) return;
    painter_->setFont(font_);
    painter_->setPen(color);
}

QRectF TTextPrinter::Area() const {
    const QRectF r = printer_.pageLayout().paintRectPixels(printer_.resolution());
    return QRectF(0, 0, r.width(), r.height());
}

qreal TTextPrinter::LineHeight() const {
    // An empty line is measured as a blank, like any other.
    return QFontMetricsF(font_, &printer_).height();
}

void TTextPrinter::EnsureRoom(qreal height) {
    // A page always takes at least one line, however tall.
    if (y_ > kMargin && y_ + height > Area().height()) NewPage();
}

void TTextPrinter::NewPage() {
    if (!painter_) return;
    printer_.newPage();
    ++pages_;
    y_ = kMargin;
}

void TTextPrinter::PrintLine(const QString& text) {
    if (!painter_) return;
    const QString expanded = expandTabs(text);
    const qreal width = Area().width() - 2 * kMargin;
    QTextLayout layout(expanded, font_, &printer_);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList pieces;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        pieces << expanded.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    if (pieces.isEmpty()) pieces << QString();
    const QFontMetricsF metrics(font_, &printer_);
    const qreal height = metrics.height();
    for (const QString& piece : pieces) {
        EnsureRoom(height);
        painter_->drawText(QPointF(kMargin, std::round(y_) + metrics.ascent()), piece);
        y_ += kLineSpacing * height;
    }
}

bool TTextPrinter::End() {
    if (!painter_) return false;
    const bool ended = painter_->end();
    painter_.reset();
    const QString target = printer_.outputFileName();
    // A file asked for this job is not written over by the next one.
    if (askedFile_) printer_.setOutputFileName({});
    askedFile_ = false;
    if (!ended || printer_.printerState() == QPrinter::Error) {
        prompts().message(Severity::Error,
                          target.isEmpty()
                              ? QStringLiteral("Drukowanie nie powiodło się.")
                              : QStringLiteral("Nie można zapisać wydruku do pliku %1.")
                                    .arg(QDir::toNativeSeparators(target)));
        return false;
    }
    return true;
}

std::unique_ptr<QPrinter> PdfPrinterLike(const QPrinter& printer) {
    auto pdf = std::make_unique<QPrinter>(QPrinter::HighResolution);
    pdf->setOutputFormat(QPrinter::PdfFormat);
    pdf->setPageLayout(printer.pageLayout());
    pdf->setOutputFileName({});
    return pdf;
}

int LinesWiderThanPage(QPrinter& printer, const QStringList& lines, const QFont& font) {
    const QRectF area = printer.pageLayout().paintRectPixels(printer.resolution());
    const qreal width = area.width() - 2 * TTextPrinter::kMargin;
    const QFontMetricsF metrics(font, &printer);
    int wider = 0;
    for (const QString& line : lines)
        if (metrics.horizontalAdvance(expandTabs(line)) > width) ++wider;
    return wider;
}

qreal PointSizeToFit(QPrinter& printer, const QStringList& lines, const QFont& font) {
    constexpr qreal kSmallest = 4;
    if (font.pointSizeF() <= 0) return 0;
    const QRectF area = printer.pageLayout().paintRectPixels(printer.resolution());
    const qreal width = area.width() - 2 * TTextPrinter::kMargin;
    qreal widest = 0;
    {
        const QFontMetricsF metrics(font, &printer);
        for (const QString& line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(expandTabs(line)));
    }
    if (widest <= width) return font.pointSizeF();
    // Text widths grow about in proportion to the size; the guess is checked and lowered until
    // every line fits.
    QFont smaller = font;
    for (qreal size = std::floor(2 * font.pointSizeF() * width / widest) / 2; size >= kSmallest;
         size -= 0.5) {
        smaller.setPointSizeF(size);
        if (LinesWiderThanPage(printer, lines, smaller) == 0) return size;
    }
    return 0;
}

bool PrintLines(QPrinter& printer, const QStringList& lines, const QFont& font,
                const QColor& color) {
    TTextPrinter p(printer);
    if (!p.Begin()) return false;
    p.SetFont(font, color);
    for (const QString& line : lines)
        p.PrintLine(line);
    return p.End();
}

}  // namespace pulpex
