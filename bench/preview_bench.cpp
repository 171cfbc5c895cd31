// The console's toolpath preview on programs of a million lines, side by
// side in one run: a generated pocketing program (arcs: several planned
// segments a line, beyond the view's budget) and one of straight cuts (one
// segment a line, within it). For each:
//   first frame   from choosing the file to the first frame drawn with it;
//   GUI gap       the longest wait of a 2 ms GUI timer during that load;
//   rotation      frames per second while the view turns continuously, at
//                 the full level and at the coarse level drawn while moving;
//   memory        bytes per planned segment held by the view's model, and
//                 the growth of the peak resident size.
// Needs a display with OpenGL 3 (scripts/bench runs it under Xvfb, where
// Mesa renders in software). Argument: seconds of rotation per level (default 3).
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QOpenGLContext>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "event_spin.h"
#include "pocket_program.h"
#include "toolpath_view.h"
#include "toolpath_window.h"

namespace {

constexpr uint64_t LINES = 1'000'000;

long resident_kib()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

bool write_straight_program(const QString& path, uint64_t lines)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    QByteArray chunk;
    f.write("G21 G90 G0 Z5\nG0 X0 Y0\nG1 Z-1 F600\n");
    for (uint64_t i = 3; i < lines; ++i) {
        // A raster: rows of short cuts across a 300 x 200 mm plate.
        uint64_t row = i / 1000, col = i % 1000;
        double x = (row % 2 ? 1000 - col : col) * 0.3, y = double(row % 400) * 0.5;
        chunk += QByteArray("G1 X") + QByteArray::number(x, 'f', 3) + " Y" + QByteArray::number(y, 'f', 3) + "\n";
        if (chunk.size() > (1 << 20)) f.write(chunk), chunk.clear();
    }
    f.write(chunk);
    return true;
}

struct figures {
    double first_frame = 0, full_frame = 0, load = 0, gap_ms = 0, handover_ms = 0, fps_empty = 0, fps_full = 0, fps_coarse = 0;
    uint64_t segments = 0;
    size_t drawn = 0, coarse = 0, bytes = 0;
    double tolerance = 0;
    long rss_growth_kib = 0;
};

double rotate_for(toolpath_view* view, bool coarse, double seconds)
{
    view->set_moving(coarse);
    spin([] { return false; }, 200);
    uint64_t f0 = view->frames();
    QElapsedTimer t;
    t.start();
    auto c = QObject::connect(view, &toolpath_view::frame_drawn, view, [view] {
        view->camera().rotate(4, 0);
        view->update();
    });
    view->update();
    spin([] { return false; }, int(seconds * 1000));
    QObject::disconnect(c);
    double fps = double(view->frames() - f0) / (double(t.nsecsElapsed()) / 1e9);
    view->set_moving(false);
    return fps;
}

figures measure(const QString& path, double seconds)
{
    figures f;
    long rss0 = resident_kib();
    toolpath_window win;
    win.show();
    spin([] { return false; }, 300);  // the window and its GL context up
    f.fps_empty = rotate_for(win.view(), false, 1);
    toolpath_loader loader;
    toolpath_ptr data;
    qint64 longest = 0;
    QObject::connect(&loader, &toolpath_loader::loaded, &win, [&](toolpath_ptr d) {
        data = d;
        f.gap_ms = double(longest);  // the load itself; what follows is the hand-over
        longest = 0;
        win.loaded(d);
    });
    bool drawn = false;
    auto c = QObject::connect(win.view(), &toolpath_view::frame_drawn, &win, [&] { drawn = data != nullptr; });

    QElapsedTimer since, total;
    QTimer tick;
    tick.setInterval(2);
    QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, since.restart()); });
    total.start();
    since.start();
    tick.start();
    win.loading(path);
    loader.load(path, gcode::machine_settings::defaults());
    spin([&] { return drawn; }, 120000);
    f.first_frame = double(total.nsecsElapsed()) / 1e9;
    tick.stop();
    QObject::disconnect(c);
    spin([&] { return !win.view()->moving(); }, 5000);
    auto full = QObject::connect(win.view(), &toolpath_view::frame_drawn, &win, [&] { drawn = false; });
    spin([&] { return !drawn; }, 5000);  // the full level's first frame
    QObject::disconnect(full);
    f.full_frame = double(total.nsecsElapsed()) / 1e9;
    f.handover_ms = double(longest);
    if (!data) return f;
    f.load = data->seconds;
    f.segments = data->model.segments_in();
    f.drawn = data->model.vertices().size();
    f.coarse = data->model.coarse().size();
    f.bytes = data->model.memory_bytes();
    f.tolerance = data->model.tolerance();
    f.rss_growth_kib = resident_kib() - rss0;
    f.fps_full = rotate_for(win.view(), false, seconds);
    f.fps_coarse = f.coarse ? rotate_for(win.view(), true, seconds) : f.fps_full;
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 3;
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QString pocket = dir.filePath("pocket.nc"), straight = dir.filePath("straight.nc");
    if (!write_pocket_program(pocket.toStdString(), LINES) || !write_straight_program(straight, LINES)) {
        std::fprintf(stderr, "preview_bench: cannot write the programs\n");
        return 1;
    }
    figures pf = measure(pocket, seconds), sf = measure(straight, seconds);

    toolpath_view probe;
    probe.show();
    spin([] { return false; }, 200);
    const char* renderer = "unknown";
    QByteArray r;
    if (QOpenGLContext* c = probe.context()) {
        probe.makeCurrent();
        r = reinterpret_cast<const char*>(c->functions()->glGetString(GL_RENDERER));
        r += ", OpenGL " + QByteArray(reinterpret_cast<const char*>(c->functions()->glGetString(GL_VERSION)));
        renderer = r.constData();
    }
    if (!probe.problem().isEmpty()) std::printf("\nview: %s\n", qPrintable(probe.problem()));
    std::printf("\nTwo generated %llu-line programs; platform %s, renderer %s; an 808 x 520 view; "
                "default budget %zu vertices.\n\n",
                (unsigned long long)LINES, qPrintable(QGuiApplication::platformName()), renderer,
                toolpath_model::default_budget);
    std::printf("| figure                                   | pocketing (arcs) | straight cuts | goal      |\n");
    std::printf("|------------------------------------------|-----------------:|--------------:|-----------|\n");
    std::printf("| planned segments                         | %16llu | %13llu |           |\n",
                (unsigned long long)pf.segments, (unsigned long long)sf.segments);
    std::printf("| vertices drawn (full level)              | %16zu | %13zu |           |\n", pf.drawn, sf.drawn);
    std::printf("| merge tolerance, mm (0: all kept)        | %16.4f | %13.4f |           |\n", pf.tolerance, sf.tolerance);
    std::printf("| vertices of the coarse level             | %16zu | %13zu |           |\n", pf.coarse, sf.coarse);
    std::printf("| choice to first frame (coarse level), s  | %16.2f | %13.2f | <= 2      |\n", pf.first_frame, sf.first_frame);
    std::printf("| choice to the full level drawn, s        | %16.2f | %13.2f |           |\n", pf.full_frame, sf.full_frame);
    std::printf("|   of it the load off the GUI thread, s   | %16.2f | %13.2f |           |\n", pf.load, sf.load);
    std::printf("| longest GUI-thread gap while loading, ms | %16.0f | %13.0f | <= 50     |\n", pf.gap_ms, sf.gap_ms);
    std::printf("| longest gap, hand-over to first frame, ms| %16.0f | %13.0f |           |\n", pf.handover_ms, sf.handover_ms);
    std::printf("| redraw of the empty view, frames/s       | %16.1f | %13.1f |           |\n", pf.fps_empty, sf.fps_empty);
    std::printf("| rotating, full level, frames/s           | %16.1f | %13.1f | >= 30     |\n", pf.fps_full, sf.fps_full);
    std::printf("| rotating, coarse level (drag), frames/s  | %16.1f | %13.1f | >= 30     |\n", pf.fps_coarse, sf.fps_coarse);
    std::printf("| model bytes per planned segment          | %16.2f | %13.2f |           |\n",
                pf.segments ? double(pf.bytes) / double(pf.segments) : 0,
                sf.segments ? double(sf.bytes) / double(sf.segments) : 0);
    std::printf("| model bytes per vertex drawn             | %16.1f | %13.1f |           |\n",
                pf.drawn + pf.coarse ? double(pf.bytes) / double(pf.drawn + pf.coarse) : 0,
                sf.drawn + sf.coarse ? double(sf.bytes) / double(sf.drawn + sf.coarse) : 0);
    std::printf("| resident growth with the path, MiB       | %16.1f | %13.1f |           |\n",
                double(pf.rss_growth_kib) / 1024, double(sf.rss_growth_kib) / 1024);
    return 0;
}
