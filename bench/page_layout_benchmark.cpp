// How long the what's-new view holds the GUI thread for a page: the
// reduction of the server's markup, then setHtml with the whole layout and
// one paint, in the view the update wizard uses at the wizard's size. Pages:
// those that reach every bound of the reduction (the slowest it lets
// through) and the hostile pages the tests load.
//   page_layout_benchmark [ROUNDS]    # ROUNDS defaults to 5; the median is shown
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QTextDocument>

#include "hostile_pages.h"
#include "update/page_markup.h"
#include "update/page_view.h"

namespace {

using namespace velmora::update;
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QUrl address(QStringLiteral("https://updates.velmora.invalid/whatsnew.html"));

    TPageView view;
    view.resize(449, 257);  // the wizard's
    view.show();
    QCoreApplication::processEvents();

    std::printf("%-28s %10s %10s %12s %12s %10s\n", "page", "bytes", "reduced", "reduce ms", "layout ms", "height px");
    auto measure = [&](const testing::SamplePage& page) {
        const QString text = QString::fromStdString(page.html);
        std::vector<double> reduceTimes, layoutTimes;
        QString reduced;
        double height = 0;
        for (int round = 0; round < rounds; ++round) {
            view.clear();
            QCoreApplication::processEvents();
            const Clock::time_point start = Clock::now();
            reduced = ReducePageMarkup(text, address);
            const Clock::time_point reducedAt = Clock::now();
            view.setHtml(reduced);
            height = view.document()->documentLayout()->documentSize().height();
            view.viewport()->repaint();
            const Clock::time_point end = Clock::now();
            reduceTimes.push_back(Milliseconds(reducedAt - start));
            layoutTimes.push_back(Milliseconds(end - reducedAt));
        }
        std::printf("%-28s %10zu %10lld %12.1f %12.1f %10.0f\n", page.name.c_str(), page.html.size(),
                    static_cast<long long>(reduced.size()), Median(reduceTimes), Median(layoutTimes), height);
        std::fflush(stdout);
    };
    std::printf("-- pages at the bounds\n");
    for (const testing::SamplePage& page : testing::BoundPages()) measure(page);
    std::printf("-- hostile pages\n");
    for (const testing::SamplePage& page : testing::HostilePages()) measure(page);
    return 0;
}
