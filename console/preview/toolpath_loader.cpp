#include "toolpath_loader.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <fstream>
#include <istream>
#include <streambuf>
#include <vector>

namespace {

// A file read block by block that ends early when the load is cancelled,
// and counts the bytes read for the progress shown.
class cancellable_buf : public std::streambuf {
public:
    cancellable_buf(std::filebuf& file, const std::atomic<bool>* cancel, std::atomic<uint64_t>* bytes)
        : file_(file), cancel_(cancel), bytes_(bytes), buf_(1 << 16)
    {
    }

protected:
    int_type underflow() override
    {
        if (cancel_ && cancel_->load(std::memory_order_relaxed)) return traits_type::eof();
        std::streamsize n = file_.sgetn(buf_.data(), std::streamsize(buf_.size()));
        if (n <= 0) return traits_type::eof();
        if (bytes_) bytes_->fetch_add(uint64_t(n), std::memory_order_relaxed);
        setg(buf_.data(), buf_.data(), buf_.data() + n);
        return traits_type::to_int_type(buf_[0]);
    }

private:
    std::filebuf& file_;
    const std::atomic<bool>* cancel_;
    std::atomic<uint64_t>* bytes_;
    std::vector<char> buf_;
};

}  // namespace

bool toolpath_data::matches(const QString& p, const std::string& s) const
{
    QFileInfo f(p);
    return p == path && s == settings && f.size() == size && f.lastModified() == modified;
}

std::shared_ptr<toolpath_data> load_toolpath(const QString& path, const gcode::machine_settings& settings,
                                             size_t budget, const std::atomic<bool>* cancel,
                                             std::atomic<uint64_t>* bytes)
{
    QElapsedTimer t;
    t.start();
    auto d = std::make_shared<toolpath_data>(budget);
    QFileInfo info(path);
    d->path = path;
    d->size = info.size();
    d->modified = info.lastModified();
    d->settings = gcode::settings_text(settings);
    std::filebuf file;
    if (!file.open(path.toLocal8Bit().toStdString(), std::ios::in | std::ios::binary)) return nullptr;
    cancellable_buf buf(file, cancel, bytes);
    std::istream in(&buf);
    gcode::check_options o;
    o.on_segment = [&](const gcode::segment& s) {
        d->times.add(s);
        d->model.add(s);
    };
    d->report = gcode::check_program(in, settings, o);
    if (cancel && cancel->load()) return nullptr;
    d->times.close(d->report.lines);
    d->model.finish();
    d->seconds = double(t.nsecsElapsed()) / 1e9;
    return d;
}

toolpath_loader::toolpath_loader(QObject* parent) : QObject(parent) { qRegisterMetaType<toolpath_ptr>(); }

toolpath_loader::~toolpath_loader() { stop_thread(); }

void toolpath_loader::stop_thread()
{
    if (!thread_) return;
    cancel_->store(true);
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
}

void toolpath_loader::cancel()
{
    if (!thread_) return;
    QString path = thread_->objectName();
    stop_thread();
    ++serial_;
    emit cancelled(path);
}

double toolpath_loader::progress() const
{
    if (!thread_ || total_ <= 0) return 0;
    return std::min(1.0, double(bytes_->load(std::memory_order_relaxed)) / double(total_));
}

void toolpath_loader::load(const QString& path, const gcode::machine_settings& settings)
{
    stop_thread();  // cancelling takes at most one block of the file
    const quint64 serial = ++serial_;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    bytes_ = std::make_shared<std::atomic<uint64_t>>(0);
    total_ = QFileInfo(path).size();
    auto cancel = cancel_;
    auto bytes = bytes_;
    size_t budget = budget_;
    thread_ = QThread::create([this, path, settings, cancel, bytes, budget, serial] {
        std::shared_ptr<const toolpath_data> d = load_toolpath(path, settings, budget, cancel.get(), bytes.get());
        if (!d) {
            if (!cancel->load())
                QMetaObject::invokeMethod(
                    this,
                    [this, path, serial] {
                        if (serial != serial_) return;
                        stop_thread();
                        emit failed(path);
                    },
                    Qt::QueuedConnection);
            return;
        }
        // Queued to the GUI thread; dropped there when a newer load began.
        QMetaObject::invokeMethod(
            this,
            [this, d, serial] {
                if (serial != serial_) return;
                stop_thread();
                emit loaded(d);
            },
            Qt::QueuedConnection);
    });
    thread_->setObjectName(path);
    thread_->start(QThread::LowPriority);
}
