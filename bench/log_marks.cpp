// The cost of one progress mark in the log view as the line of marks grows.
//
// A mark is what the probe loop does per probe: SetSelectionColour(clBlack),
// InsertAtCaret(">"), ScrollToCaret() and one pass over pending events, with the view
// shown (offscreen) so that painting counts. The marks go one by one onto one line
// under the red power-cycle instruction, as in a real run; the cost is taken over the
// 500 marks that end at 1 000, 10 000 and 100 000 marks. The goal: a mark at 100 000
// costs at most twice what it costs at 1 000. The goal is judged on the processor
// time of this thread, which other work on a shared machine does not inflate; the
// wall times are printed beside it.
//
// For scale, a plain QTextEdit does the same, its line brought up to the same lengths
// at once and then timed over fewer marks, since each of its marks costs more the
// longer the line.
#include "RichEdit.h"

#include <QApplication>
#include <QScrollBar>
#include <QTextEdit>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCounts[] = {1000, 10000, 100000};
constexpr int kWindow = 500;
constexpr int kBaselineWindow = 5;

const QString kPowerCycle = QStringLiteral("Отключите питание от роутера и подключите его заново.");

struct Sample {
    double WallMs;
    double CpuMs;
};

struct Figures {
    double MeanMs;
    double MedianMs;
    double CpuMeanMs;
};

double ThreadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

Figures Summarise(const std::vector<Sample>& samples)
{
    std::vector<double> wall;
    double wallSum = 0;
    double cpuSum = 0;
    for (const Sample& sample : samples) {
        wall.push_back(sample.WallMs);
        wallSum += sample.WallMs;
        cpuSum += sample.CpuMs;
    }
    std::nth_element(wall.begin(), wall.begin() + std::ptrdiff_t(wall.size() / 2), wall.end());
    const auto count = double(samples.size());
    return {wallSum / count, wall[wall.size() / 2], cpuSum / count};
}

Sample Time(const std::function<void()>& step)
{
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuMs();
    step();
    return {std::chrono::duration<double, std::milli>(Clock::now() - start).count(), ThreadCpuMs() - cpuStart};
}

std::vector<Figures> MeasureLogView()
{
    TRichEdit log;
    log.resize(473, 161);
    log.show();
    QApplication::processEvents();
    log.SetSelectionColour(clRed);
    log.AddLine(kPowerCycle);
    log.AddLine("");
    log.ScrollToCaret();

    std::vector<Figures> figures;
    std::vector<Sample> samples;
    int marks = 0;
    for (int count : kCounts) {
        samples.clear();
        while (marks < count) {
            const Sample sample = Time([&log] {
                log.SetSelectionColour(clBlack);
                log.InsertAtCaret(">");
                log.ScrollToCaret();
                QCoreApplication::processEvents();
            });
            if (++marks > count - kWindow)
                samples.push_back(sample);
        }
        figures.push_back(Summarise(samples));
    }
    // The figures count only if the marks are all there, on one line, in view.
    const QScrollBar* bar = log.verticalScrollBar();
    if (log.Text().count(u'>') != kCounts[std::size(kCounts) - 1] || bar->value() != bar->maximum()) {
        std::fprintf(stderr, "log_marks: the log view lost marks or the newest mark is out of view\n");
        std::exit(1);
    }
    return figures;
}

Figures MeasureTextEdit(int count)
{
    QTextEdit edit;
    edit.setReadOnly(true);
    edit.setFont(QFont(QStringLiteral("DejaVu Sans"), 11, QFont::Bold));
    edit.resize(473, 161);
    edit.show();
    QTextCursor cursor = edit.textCursor();
    QTextCharFormat black;
    black.setForeground(Qt::black);
    cursor.insertText(kPowerCycle + "\n\n");
    cursor.insertText(QString(count - kBaselineWindow, u'>'), black);
    edit.setTextCursor(cursor);
    QApplication::processEvents();

    std::vector<Sample> samples;
    for (int i = 0; i < kBaselineWindow; ++i)
        samples.push_back(Time([&edit, &black] {
            edit.setCurrentCharFormat(black);
            edit.insertPlainText(">");
            edit.ensureCursorVisible();
            QCoreApplication::processEvents();
        }));
    return Summarise(samples);
}

long PeakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);

    const std::vector<Figures> view = MeasureLogView();
    const long viewKiB = PeakResidentKiB();
    std::printf("Cost of one mark (colour, insert, scroll, one event pass), widget shown offscreen\n\n");
    std::printf("%8s  %-30s  %-20s\n", "", "log view", "QTextEdit");
    std::printf("%8s  %9s  %9s  %9s  %9s  %9s\n", "marks", "cpu mean", "wall mean", "wall med", "cpu mean",
                "wall mean");
    for (size_t i = 0; i < view.size(); ++i) {
        const Figures baseline = MeasureTextEdit(kCounts[i]);
        std::printf("%8d  %6.3f ms  %6.3f ms  %6.3f ms  %6.1f ms  %6.1f ms\n", kCounts[i], view[i].CpuMeanMs,
                    view[i].MeanMs, view[i].MedianMs, baseline.CpuMeanMs, baseline.MeanMs);
    }
    const double ratio = view.back().CpuMeanMs / view.front().CpuMeanMs;
    std::printf("\nlog view at %d / at %d marks: cpu mean %.2f (goal: at most 2.00), wall mean %.2f, wall median "
                "%.2f\n",
                kCounts[2], kCounts[0], ratio, view.back().MeanMs / view.front().MeanMs,
                view.back().MedianMs / view.front().MedianMs);
    std::printf("peak resident memory after %d marks in the log view: %ld KiB\n", kCounts[2], viewKiB);
    return ratio <= 2.0 ? 0 : 1;
}
