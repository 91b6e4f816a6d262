#include "documents/scanner/sane_scan.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/utils.h"

namespace pulpex::scanner {

namespace {

// SANE is not made for concurrent use: one session in the process at a time.
std::mutex& saneMutex() {
    static std::mutex m;
    return m;
}

// sane_init .. sane_exit, under the process-wide lock.
class SaneSession {
  public:
    SaneSession() : lock_(saneMutex()) { ok_ = sane_init(nullptr, nullptr) == SANE_STATUS_GOOD; }
    ~SaneSession() {
        if (ok_) sane_exit();
    }
    SaneSession(const SaneSession&) = delete;
    SaneSession& operator=(const SaneSession&) = delete;
    bool ok() const { return ok_; }

  private:
    std::lock_guard<std::mutex> lock_;
    bool ok_ = false;
};

struct HandleCloser {
    void operator()(void* h) const { sane_close(static_cast<SANE_Handle>(h)); }
};
using DeviceHandle = std::unique_ptr<void, HandleCloser>;

const QString kNoSane = QStringLiteral("Nie można uruchomić obsługi skanerów (SANE).");
const QString kNoDevice =
    QStringLiteral("Nie znaleziono skanera. Sprawdź, czy jest podłączony i włączony.");

// Statuses of later SANE versions, which newer backends already return.
constexpr int kWarmingUp = 12;
constexpr int kHardwareLocked = 13;

QString statusMessage(SANE_Status status) {
    switch (static_cast<int>(status)) {
        case SANE_STATUS_JAMMED:
            return QStringLiteral("Papier zaciął się w skanerze. Usuń zacięty arkusz.");
        case SANE_STATUS_NO_DOCS:
            return QStringLiteral("Brak papieru w podajniku skanera.");
        case SANE_STATUS_COVER_OPEN:
            return QStringLiteral("Pokrywa skanera jest otwarta. Zamknij ją i spróbuj ponownie.");
        case SANE_STATUS_DEVICE_BUSY:
            return QStringLiteral("Skaner jest zajęty. Spróbuj ponownie za chwilę.");
        case SANE_STATUS_ACCESS_DENIED:
            return QStringLiteral("Brak dostępu do skanera.");
        case SANE_STATUS_NO_MEM:
            return QStringLiteral("Za mało pamięci do skanowania.");
        case SANE_STATUS_IO_ERROR:
            return QStringLiteral("Błąd połączenia ze skanerem.");
        case SANE_STATUS_CANCELLED:
            return QStringLiteral("Skanowanie zostało przerwane.");
        case kWarmingUp:
            return QStringLiteral("Lampa skanera się nagrzewa. Spróbuj ponownie za chwilę.");
        case kHardwareLocked:
            return QStringLiteral(
                "Mechanizm skanera jest zablokowany. Odblokuj go i spróbuj "
                "ponownie.");
        default:
            return QStringLiteral("Skanowanie nie powiodło się (błąd skanera %1).")
                .arg(static_cast<int>(status));
    }
}

QStringList deviceNames() {
    const SANE_Device** list = nullptr;
    QStringList names;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || list == nullptr) return names;
    for (int i = 0; list[i] != nullptr; ++i)
        names << QString::fromUtf8(list[i]->name);
    return names;
}

// The device's options by name.
class Options {
  public:
    explicit Options(SANE_Handle h) : h_(h) {}

    std::optional<SANE_Int> find(const char* name) const {
        SANE_Int count = 0;
        if (sane_control_option(h_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
            return std::nullopt;
        for (SANE_Int i = 1; i < count; ++i) {
            const SANE_Option_Descriptor* d = sane_get_option_descriptor(h_, i);
            if (d != nullptr && d->name != nullptr && std::strcmp(d->name, name) == 0) return i;
        }
        return std::nullopt;
    }
    const SANE_Option_Descriptor* descriptor(SANE_Int i) const {
        return sane_get_option_descriptor(h_, i);
    }
    bool settable(SANE_Int i) const {
        const SANE_Option_Descriptor* d = descriptor(i);
        return d != nullptr && SANE_OPTION_IS_ACTIVE(d->cap) && SANE_OPTION_IS_SETTABLE(d->cap);
    }

    // A number in the option's own unit; resolution and geometry are whole numbers on some
    // devices and fixed-point on others.
    bool setNumber(const char* name, double value) {
        const auto i = find(name);
        if (!i || !settable(*i)) return false;
        const SANE_Option_Descriptor* d = descriptor(*i);
        SANE_Word w = 0;
        if (d->type == SANE_TYPE_FIXED)
            w = SANE_FIX(value);
        else if (d->type == SANE_TYPE_INT)
            w = static_cast<SANE_Word>(std::lround(value));
        else
            return false;
        return sane_control_option(h_, *i, SANE_ACTION_SET_VALUE, &w, nullptr) == SANE_STATUS_GOOD;
    }
    std::optional<double> number(const char* name) const {
        const auto i = find(name);
        if (!i) return std::nullopt;
        const SANE_Option_Descriptor* d = descriptor(*i);
        if (!SANE_OPTION_IS_ACTIVE(d->cap) ||
            (d->type != SANE_TYPE_FIXED && d->type != SANE_TYPE_INT) || d->size < 1)
            return std::nullopt;
        // Resolution may be a word array (one value per direction) on a few devices.
        std::vector<SANE_Word> w(static_cast<std::size_t>(d->size) / sizeof(SANE_Word) + 1);
        if (sane_control_option(h_, *i, SANE_ACTION_GET_VALUE, w.data(), nullptr) !=
            SANE_STATUS_GOOD)
            return std::nullopt;
        return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w[0]) : static_cast<double>(w[0]);
    }
    // The largest value a numeric option allows, in its own unit.
    std::optional<double> maximum(const char* name) const {
        const auto i = find(name);
        if (!i) return std::nullopt;
        const SANE_Option_Descriptor* d = descriptor(*i);
        if (d->constraint_type != SANE_CONSTRAINT_RANGE || d->constraint.range == nullptr)
            return std::nullopt;
        const SANE_Word m = d->constraint.range->max;
        return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(m) : static_cast<double>(m);
    }
    SANE_Unit unit(const char* name) const {
        const auto i = find(name);
        return i ? descriptor(*i)->unit : SANE_UNIT_NONE;
    }
    bool setString(const char* name, const QByteArray& value) {
        const auto i = find(name);
        if (!i || !settable(*i)) return false;
        const SANE_Option_Descriptor* d = descriptor(*i);
        if (d->type != SANE_TYPE_STRING || value.size() >= d->size) return false;
        QByteArray buf(d->size, '\0');
        std::memcpy(buf.data(), value.constData(), static_cast<std::size_t>(value.size()));
        return sane_control_option(h_, *i, SANE_ACTION_SET_VALUE, buf.data(), nullptr) ==
               SANE_STATUS_GOOD;
    }
    // Sets an option from text, whatever its type.
    bool setText(const char* name, const QString& text) {
        const auto i = find(name);
        if (!i) return false;
        const SANE_Option_Descriptor* d = descriptor(*i);
        switch (d->type) {
            case SANE_TYPE_STRING:
                return setString(name, text.toUtf8());
            case SANE_TYPE_BOOL: {
                if (!settable(*i)) return false;
                SANE_Bool b = (text == QLatin1String("yes") || text == QLatin1String("1") ||
                               text == QLatin1String("true"))
                                  ? SANE_TRUE
                                  : SANE_FALSE;
                return sane_control_option(h_, *i, SANE_ACTION_SET_VALUE, &b, nullptr) ==
                       SANE_STATUS_GOOD;
            }
            case SANE_TYPE_INT:
            case SANE_TYPE_FIXED: {
                bool ok = false;
                const double v = text.toDouble(&ok);
                return ok && setNumber(name, v);
            }
            default:
                return false;
        }
    }
    // The first entry of a string option's list whose text holds one of `keys`.
    QByteArray listEntry(const char* name, std::initializer_list<const char*> keys) const {
        const auto i = find(name);
        if (!i) return {};
        const SANE_Option_Descriptor* d = descriptor(*i);
        if (d->constraint_type != SANE_CONSTRAINT_STRING_LIST) return {};
        for (const char* key : keys)
            for (const SANE_String_Const* s = d->constraint.string_list; *s != nullptr; ++s)
                if (QByteArray(*s).contains(key)) return QByteArray(*s);
        return {};
    }

  private:
    SANE_Handle h_;
};

// A page of the frame `p` from the bytes read, as an image of 8-bit samples.
QImage toImage(const SANE_Parameters& p, const QByteArray& data) {
    const int bpl = p.bytes_per_line;
    const int width = p.pixels_per_line;
    if (bpl <= 0 || width <= 0) return {};
    const int lines = static_cast<int>(data.size() / bpl);
    if (lines <= 0) return {};
    const bool rgb = p.format == SANE_FRAME_RGB;
    if (!rgb && p.format != SANE_FRAME_GRAY) return {};
    QImage img(width, lines, rgb ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    if (img.isNull()) return {};
    const int channels = rgb ? 3 : 1;
    for (int y = 0; y < lines; ++y) {
        const auto* src =
            reinterpret_cast<const uchar*>(data.constData()) + static_cast<qsizetype>(y) * bpl;
        uchar* dst = img.scanLine(y);
        for (int x = 0; x < width * channels; ++x) {
            if (p.depth == 8) {
                dst[x] = src[x];
            } else if (p.depth == 16) {
                // Samples in the machine's byte order; the high byte is enough for a page.
                std::uint16_t v;
                std::memcpy(&v, src + 2 * x, 2);
                dst[x] = static_cast<uchar>(v >> 8);
            } else if (p.depth == 1) {
                // Line art: a set bit is black.
                dst[x] = (src[x / 8] & (0x80 >> (x % 8))) ? 0 : 255;
            } else {
                return {};
            }
        }
    }
    return img;
}

}  // namespace

QStringList ScannerDevices(QString* error) {
    SaneSession session;
    if (!session.ok()) {
        if (error != nullptr) *error = kNoSane;
        return {};
    }
    return deviceNames();
}

QString RememberedScanner() {
    return IniReadString(QStringLiteral("Skaner"), QStringLiteral("Urzadzenie"), {}, UserIniPath());
}

bool RememberScanner(const QString& device) {
    return IniWriteString(QStringLiteral("Skaner"), QStringLiteral("Urzadzenie"), device,
                          UserIniPath());
}

TScanOutcome ScanPages(const TScanSettings& settings,
                       const std::function<void(const TScannedPage&)>& onPage,
                       const std::atomic_bool* stop) {
    TScanOutcome out;
    SaneSession session;
    if (!session.ok()) {
        out.error = kNoSane;
        return out;
    }
    const QStringList devices = deviceNames();
    QString device = settings.device.isEmpty() ? RememberedScanner() : settings.device;
    if (device.isEmpty()) {
        if (devices.isEmpty()) {
            out.error = kNoDevice;
            return out;
        }
        device = devices.first();
        RememberScanner(device);
    }
    out.device = device;

    SANE_Handle raw = nullptr;
    const QByteArray name = device.toUtf8();
    const SANE_Status openStatus = sane_open(name.constData(), &raw);
    if (openStatus != SANE_STATUS_GOOD || raw == nullptr) {
        out.error = devices.contains(device) && openStatus != SANE_STATUS_INVAL
                        ? statusMessage(openStatus)
                        : QStringLiteral(
                              "Nie znaleziono skanera \"%1\". Sprawdź, czy jest "
                              "podłączony i włączony, albo wybierz inny.")
                              .arg(device);
        return out;
    }
    DeviceHandle handle(raw);
    Options opt(raw);

    opt.setString(SANE_NAME_SCAN_MODE, settings.colour ? QByteArray(SANE_VALUE_SCAN_MODE_COLOR)
                                                       : QByteArray(SANE_VALUE_SCAN_MODE_GRAY));
    opt.setNumber("depth", 8);
    opt.setNumber(SANE_NAME_SCAN_RESOLUTION, settings.dpi);
    const QByteArray source =
        settings.feeder
            ? opt.listEntry(SANE_NAME_SCAN_SOURCE, {"ADF", "Automatic Document Feeder", "Feeder"})
            : opt.listEntry(SANE_NAME_SCAN_SOURCE, {"Flatbed"});
    if (!source.isEmpty()) opt.setString(SANE_NAME_SCAN_SOURCE, source);
    // An A4 sheet, or as much of it as the device reaches.
    if (opt.unit(SANE_NAME_SCAN_BR_X) == SANE_UNIT_MM) {
        opt.setNumber(SANE_NAME_SCAN_TL_X, 0);
        opt.setNumber(SANE_NAME_SCAN_TL_Y, 0);
        opt.setNumber(SANE_NAME_SCAN_BR_X,
                      std::min(210.0, opt.maximum(SANE_NAME_SCAN_BR_X).value_or(210.0)));
        opt.setNumber(SANE_NAME_SCAN_BR_Y,
                      std::min(297.0, opt.maximum(SANE_NAME_SCAN_BR_Y).value_or(297.0)));
    }
    for (const QString& o : settings.options) {
        const qsizetype eq = o.indexOf(QLatin1Char('='));
        if (eq <= 0) continue;
        opt.setText(o.left(eq).toUtf8().constData(), o.mid(eq + 1));
    }
    const int dpi = static_cast<int>(std::lround(
        opt.number(SANE_NAME_SCAN_RESOLUTION).value_or(static_cast<double>(settings.dpi))));
    const int dpiX = static_cast<int>(
        std::lround(opt.number(SANE_NAME_SCAN_X_RESOLUTION).value_or(static_cast<double>(dpi))));
    const int dpiY = static_cast<int>(
        std::lround(opt.number(SANE_NAME_SCAN_Y_RESOLUTION).value_or(static_cast<double>(dpi))));

    const auto stopped = [&] { return stop != nullptr && stop->load(); };
    for (;;) {
        if (stopped()) {
            out.stopped = true;
            break;
        }
        SANE_Status st = sane_start(raw);
        SANE_Parameters params{};
        QByteArray data;
        if (st == SANE_STATUS_GOOD) st = sane_get_parameters(raw, &params);
        if (st == SANE_STATUS_GOOD && !params.last_frame) st = SANE_STATUS_UNSUPPORTED;
        if (st == SANE_STATUS_GOOD) {
            if (params.lines > 0)
                data.reserve(static_cast<qsizetype>(params.lines) * params.bytes_per_line);
            std::vector<SANE_Byte> buf(64 * 1024);
            for (;;) {
                if (stopped()) {
                    st = SANE_STATUS_CANCELLED;
                    break;
                }
                SANE_Int n = 0;
                st = sane_read(raw, buf.data(), static_cast<SANE_Int>(buf.size()), &n);
                if (st != SANE_STATUS_GOOD) break;
                data.append(reinterpret_cast<const char*>(buf.data()), n);
            }
            if (st == SANE_STATUS_EOF) st = SANE_STATUS_GOOD;
        }
        sane_cancel(raw);

        if (st == SANE_STATUS_CANCELLED && stopped()) {
            out.stopped = true;
            break;
        }
        // An empty feeder after the first page is the normal end of a feeder run.
        if (st == SANE_STATUS_NO_DOCS && out.pages > 0) break;
        if (st == SANE_STATUS_UNSUPPORTED) {
            out.error = QStringLiteral(
                "Ten tryb skanera nie jest obsługiwany. Wybierz skanowanie "
                "w odcieniach szarości lub w kolorze.");
            break;
        }
        if (st != SANE_STATUS_GOOD) {
            out.error = statusMessage(st);
            break;
        }
        TScannedPage page;
        page.image = toImage(params, data);
        if (page.image.isNull()) {
            out.error = QStringLiteral("Skaner przysłał obraz, którego nie można odczytać.");
            break;
        }
        page.dpiX = dpiX;
        page.dpiY = dpiY;
        page.image.setDotsPerMeterX(static_cast<int>(std::lround(dpiX / 0.0254)));
        page.image.setDotsPerMeterY(static_cast<int>(std::lround(dpiY / 0.0254)));
        ++out.pages;
        if (onPage) onPage(page);
        if (!settings.feeder) break;
    }
    return out;
}

}  // namespace pulpex::scanner
