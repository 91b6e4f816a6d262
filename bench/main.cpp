// pulpex-bench: our engine side by side with SQLite doing the same work on the same data.
//
//   pulpex-bench [--only NAME[,NAME...]] [--repeat N] [--scale F] [--no-sqlite] [--no-engine]
//   [--keep]
//
// Names: append, locate, scan, eventlist, join, join_dated, eventsearch, eventlist_open. The output
// ends with one line per benchmark,
//   <name> pulpex=<ns per op> sqlite=<ns per op> ratio=<pulpex/sqlite>
// taking the best of the runs of each side (other work on the machine only ever slows a run
// down); lines starting with '#' give the details, medians included.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "bench.h"

using namespace pulpex::bench;

namespace {

[[noreturn]] void usage() {
    std::fprintf(
        stderr,
        "usage: pulpex-bench [--only NAME[,NAME...]] [--repeat N] [--scale F] "
        "[--no-sqlite] [--no-engine] [--keep]\n"
        "names: append, locate, scan, eventlist, join, join_dated, eventsearch, eventlist_open\n");
    std::exit(2);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage();
            return argv[++i];
        };
        if (a == "--only") {
            std::string list = value();
            std::size_t from = 0;
            while (from <= list.size()) {
                std::size_t comma = list.find(',', from);
                if (comma == std::string::npos) comma = list.size();
                if (comma > from) o.only.push_back(list.substr(from, comma - from));
                from = comma + 1;
            }
        } else if (a == "--repeat") {
            o.repeat = std::atoi(value().c_str());
            if (o.repeat < 1) usage();
        } else if (a == "--scale") {
            o.scale = std::atof(value().c_str());
            if (!(o.scale > 0)) usage();
        } else if (a == "--no-sqlite") {
            o.sqlite = false;
        } else if (a == "--keep") {
            o.keep = true;
        } else if (a == "--no-engine") {
            o.engine = false;
        } else {
            usage();
        }
    }
    return o;
}

std::string number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

}  // namespace

int main(int argc, char** argv) {
    Options opts = parse(argc, argv);
    std::vector<Result> results;
    try {
        TempDir tmp(opts.keep);
        std::printf(
            "# data in %s; SQLite %s, file database, journal_mode=WAL, "
            "synchronous=NORMAL, mmap_size=1G\n",
            tmp.path().c_str(), sqlite3_libversion());
        std::fflush(stdout);
        Data data(opts, tmp);
        auto run = [&](const char* name, auto&& fn) {
            if (!opts.wants(name)) return;
            results.push_back(fn());
            std::fflush(stdout);
        };
        run("append", [&] { return benchAppend(opts, tmp); });
        run("locate", [&] { return benchLocate(opts, data); });
        run("scan", [&] { return benchScan(opts, data); });
        run("eventlist", [&] { return benchEventList(opts, data); });
        run("join", [&] { return benchJoin(opts, data); });
        run("join_dated", [&] { return benchJoinDated(opts, data); });
        run("eventsearch", [&] { return benchEventSearch(opts, tmp); });
        run("eventlist_open", [&] { return benchEventListOpen(opts, tmp); });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pulpex-bench: %s\n", e.what());
        return 1;
    }
    for (const auto& r : results) {
        const bool hp = r.pulpexAvailable && !r.pulpex.empty(), hs = !r.sqlite.empty();
        const double p = best(r.pulpex.wall), s = best(r.sqlite.wall);
        char ratio[32] = "n/a";
        if (hp && hs && s > 0) std::snprintf(ratio, sizeof ratio, "%.2f", p / s);
        std::printf("%s pulpex=%s sqlite=%s ratio=%s\n", r.name.c_str(),
                    hp ? number(p).c_str() : "n/a", hs ? number(s).c_str() : "n/a", ratio);
    }
    return 0;
}
