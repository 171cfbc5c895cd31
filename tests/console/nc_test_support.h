// Helpers shared by the NC job and machine state tests: a private working
// directory (numbered NC copies and "results.csv" land there), NC files
// written into it, and a count of the frames the board received by command.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "board_sim.h"

// Makes a fresh temporary directory the working directory for its lifetime.
class scratch_dir {
public:
    scratch_dir() : previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~scratch_dir() { QDir::setCurrent(previous); }
    QString path() const { return dir.path(); }
    QString file(const QString& name) const { return dir.filePath(name); }

private:
    QString previous;
    QTemporaryDir dir;
};

inline QString write_file(const QString& path, const QByteArray& content)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return QString();
    f.write(content);
    return path;
}

inline QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Counts the frames the board takes in, by command number, through its
// trace sink (called on the board's threads).
class frame_counter {
public:
    void attach(bsim::config& cfg)
    {
        cfg.trace_sink = [this](const std::string& line) {
            auto at = line.find("<- #");
            if (at == std::string::npos) return;
            auto c = line.find("cmd=", at);
            if (c == std::string::npos) return;
            int cmd = std::atoi(line.c_str() + c + 4);
            std::lock_guard<std::mutex> g(lock);
            ++counts[cmd];
        };
    }
    void reset()
    {
        std::lock_guard<std::mutex> g(lock);
        counts.clear();
    }
    int count(int cmd)
    {
        std::lock_guard<std::mutex> g(lock);
        return counts[cmd];
    }

private:
    std::mutex lock;
    std::map<int, int> counts;
};
