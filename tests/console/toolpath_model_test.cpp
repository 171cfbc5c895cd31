// The preview's parts that need neither a board nor OpenGL: the model's
// strip, its simplification beyond the budget and its executed part, the
// camera's views and fit, and the loader on a real program.
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <fstream>
#include <sstream>

#include "gcode/check.h"
#include "toolpath_camera.h"
#include "toolpath_loader.h"
#include "toolpath_window.h"

#ifndef CONSOLE_TEST_SOURCE_DIR
#define CONSOLE_TEST_SOURCE_DIR "."
#endif

namespace {

gcode::segment seg(double x0, double y0, double x1, double y1, uint64_t line, gcode::motion k = gcode::motion::feed)
{
    gcode::segment s;
    s.start[0] = x0, s.start[1] = y0, s.end[0] = x1, s.end[1] = y1;
    s.length = std::hypot(x1 - x0, y1 - y0);
    s.line = line;
    s.kind = k;
    return s;
}

QString sample(const char* name) { return QString(CONSOLE_TEST_SOURCE_DIR) + "/../shared/gcode/" + name; }

}  // namespace

class toolpath_model_test : public QObject {
    Q_OBJECT
private slots:
    void the_strip_keeps_kinds_lines_and_jumps()
    {
        toolpath_model m;
        m.add(seg(0, 0, 10, 0, 1, gcode::motion::rapid));
        m.add(seg(10, 0, 10, 5, 2));
        gcode::segment pause = seg(10, 5, 10, 5, 3, gcode::motion::dwell);
        m.add(pause);
        m.add(seg(20, 5, 25, 5, 4, gcode::motion::arc));  // does not start where the last ended
        m.finish();
        const auto& v = m.vertices();
        QCOMPARE(int(v.size()), 5);
        QCOMPARE(v[0].kind(), path_kind::gap);
        QCOMPARE(v[1].kind(), path_kind::rapid);
        QCOMPARE(v[2].kind(), path_kind::feed);
        QCOMPARE(v[3].kind(), path_kind::gap);  // the jump is not drawn
        QCOMPARE(v[4].kind(), path_kind::arc);
        QCOMPARE(int(v[4].line()), 4);
        QCOMPARE(m.segments_in(), uint64_t(3));
        QCOMPARE(m.bounds().max[0], 25.0f);
        QCOMPARE(m.bounds().max[1], 5.0f);
        // Executed while the board works on line 2: line 1's segment only.
        QCOMPARE(int(m.executed_vertices(2)), 2);
        QCOMPARE(int(m.executed_vertices(5)), 5);
        QCOMPARE(int(m.executed_vertices(0)), 0);
    }

    void beyond_the_budget_short_runs_merge_and_the_shape_stays()
    {
        // 200,000 chords of 0.003 mm round a circle, over a budget of 5,000.
        const int n = 200000;
        toolpath_model m(5000);
        double px = 50, py = 0;
        for (int i = 1; i <= n; ++i) {
            double a = i * 0.00006, r = 50;
            double x = r * std::cos(a), y = r * std::sin(a);
            m.add(seg(px, py, x, y, uint64_t(i)));
            px = x, py = y;
        }
        m.finish();
        const auto& v = m.vertices();
        QVERIFY(m.simplified());
        QVERIFY2(v.size() < 5000, qPrintable(QString::number(v.size())));
        QVERIFY(v.size() > 5000 / 8);  // merged only as far as the budget needs
        QCOMPARE(m.segments_in(), uint64_t(n));
        // The ends stay exact, lines keep their order, no merged piece is
        // longer than the tolerance plus one chord.
        QCOMPARE(v.back().x, float(px));
        QCOMPARE(int(v.back().line()), n);
        for (size_t i = 1; i < v.size(); ++i) {
            QVERIFY(v[i].line() >= v[i - 1].line());
            float d = std::hypot(v[i].x - v[i - 1].x, v[i].y - v[i - 1].y);
            QVERIFY2(d < m.tolerance() + 0.005, qPrintable(QString("piece %1: %2 mm").arg(i).arg(d)));
        }
        QVERIFY(m.tolerance() < m.bounds().diagonal() / 256);  // about a pixel of the whole path
        // Executed part: halfway through the program, half the strip.
        double share = double(m.executed_vertices(n / 2)) / double(v.size());
        QVERIFY2(share > 0.45 && share < 0.55, qPrintable(QString::number(share)));
        QVERIFY(m.memory_bytes() < 5000 * sizeof(path_vertex) * 2);
    }

    void cuts_longer_than_a_pixel_stay_and_the_budget_gives_way()
    {
        // 20,000 zigzag cuts of 10 mm cannot merge into 1,000 vertices
        // without losing the picture: all are kept, and loading goes on.
        toolpath_model m(1000);
        for (int i = 0; i < 20000; ++i) m.add(seg(i % 2 ? 10 : 0, i * 0.01, i % 2 ? 0 : 10, (i + 1) * 0.01, uint64_t(i + 1)));
        m.finish();
        QCOMPARE(int(m.vertices().size()), 20001);
        QVERIFY(m.tolerance() <= m.bounds().diagonal() / 256);
    }

    void views_and_fit_keep_the_whole_path_in_sight()
    {
        path_bounds b;
        b.add(-20, 10, -5);
        b.add(180, 90, 30);
        toolpath_camera cam;
        cam.set_viewport(800, 600);
        for (view_side side : {view_side::top, view_side::front, view_side::side, view_side::iso}) {
            cam.set_view(side);
            cam.fit(b);
            for (int i = 0; i < 8; ++i) {
                QVector3D c((i & 1) ? b.max[0] : b.min[0], (i & 2) ? b.max[1] : b.min[1], (i & 4) ? b.max[2] : b.min[2]);
                QVector3D p = cam.matrix().map(c);
                QVERIFY2(std::abs(p.x()) <= 1 && std::abs(p.y()) <= 1 && std::abs(p.z()) <= 1,
                         qPrintable(QString("view %1 corner %2").arg(int(side)).arg(i)));
            }
        }
        // From above +X is to the right and +Y up; from the front +Z is up.
        cam.set_view(view_side::top);
        cam.fit(b);
        QVERIFY(cam.matrix().map(QVector3D(180, 50, 0)).x() > 0.5f);
        QVERIFY(cam.matrix().map(QVector3D(80, 90, 0)).y() > 0.3f);
        QVERIFY(cam.matrix().map(QVector3D(80, 10, 0)).y() < -0.3f);
        cam.set_view(view_side::front);
        cam.fit(b);
        QVERIFY(cam.matrix().map(QVector3D(80, 50, 30)).y() > 0.1f);
        QVERIFY(cam.matrix().map(QVector3D(80, 50, -5)).y() < -0.1f);
        // Panning moves the picture with the pointer; zooming in narrows the view.
        QVector3D before = cam.matrix().map(QVector3D(80, 50, 10));
        cam.pan(100, 0);
        QVERIFY(cam.matrix().map(QVector3D(80, 50, 10)).x() > before.x());
        float h = cam.height_mm();
        cam.zoom(2);
        QCOMPARE(cam.height_mm(), h / 2);
    }

    void a_public_program_loads_with_the_checks_extents_and_can_be_cancelled()
    {
        QString path = sample("ordbot_handle.nc");
        if (!QFile::exists(path)) QSKIP("no sample programs beside the repository");
        auto settings = gcode::machine_settings::defaults();
        std::ifstream in(path.toStdString(), std::ios::binary);
        gcode::check_report direct = gcode::check_program(in, settings);

        toolpath_loader loader;
        QSignalSpy loaded(&loader, &toolpath_loader::loaded);
        loader.load(path, settings);
        QVERIFY(loaded.wait(30000));
        auto d = loaded.at(0).at(0).value<toolpath_ptr>();
        QVERIFY(d);
        QCOMPARE(d->report.lines, direct.lines);
        QCOMPARE(d->report.segments, direct.segments);
        QCOMPARE(d->times.total_seconds(), direct.seconds);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(double(d->model.bounds().min[i]), double(float(direct.min[i])));
            QCOMPARE(double(d->model.bounds().max[i]), double(float(direct.max[i])));
        }
        QVERIFY(d->matches(path, gcode::settings_text(settings)));
        QString extents = extents_line(d->report);
        QVERIFY2(extents.startsWith(QString("X %1 … %2").arg(direct.min[0], 0, 'f', 3).arg(direct.max[0], 0, 'f', 3)),
                 qPrintable(extents));
        QVERIFY(extents.contains("mm"));

        // A load cancelled at once reports that and never a result.
        QSignalSpy cancelled(&loader, &toolpath_loader::cancelled);
        loader.load(sample("Skull_Roughing.gcode"), settings);
        loader.cancel();
        QCOMPARE(cancelled.count(), 1);
        QVERIFY(!loaded.wait(300));
        QCOMPARE(loaded.count(), 1);
        QVERIFY(!loader.busy());
    }
};

QTEST_MAIN(toolpath_model_test)
#include "toolpath_model_test.moc"
