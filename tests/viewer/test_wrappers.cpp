#include "cadview/Wrappers.h"
#include "fake_drawing_view.h"

#include <QTest>

using namespace DrawingViewLib;

class TestWrappers : public QObject {
    Q_OBJECT

private slots:
    void drawingHolderReleasesReferenceAndSubscription() {
        QStringList log;
        auto image = std::make_shared<FakeDXFImage>(&log);
        int changes = 0;
        {
            TDXFImage holder;
            holder.OnLayoutChange = [&] { ++changes; };
            holder.connectTo(image);
            QCOMPARE(image.use_count(), 2);
            QCOMPARE(image->OnLayoutChange.connectionCount(), 1);
            image->OnLayoutChange();
            QCOMPARE(changes, 1);

            // Connecting again replaces, never doubles, the subscription.
            holder.connectTo(image);
            QCOMPARE(image->OnLayoutChange.connectionCount(), 1);

            holder.disconnect();
            QCOMPARE(image.use_count(), 1);
            QCOMPARE(image->OnLayoutChange.connectionCount(), 0);
            image->OnLayoutChange();
            QCOMPARE(changes, 1);
            QVERIFY_THROWS_EXCEPTION(DrawingViewError, holder.CurrentLayout());

            holder.connectTo(image);
        }
        // Gone with its holder.
        QCOMPARE(image.use_count(), 1);
        QCOMPARE(image->OnLayoutChange.connectionCount(), 0);
    }

    void converterAndLayerHoldersForwardAndRefuseWhenEmpty() {
        auto converter = std::make_shared<FakeConverter>();
        converter->layouts.push_back(std::make_shared<FakeLayout>("Model"));
        converter->activeLayoutIndex = 0;
        TConverter holder;
        QVERIFY_THROWS_EXCEPTION(DrawingViewError, holder.ActiveLayoutIndex());
        holder.connectTo(converter);
        QCOMPARE(holder.Layouts(0)->Name(), QStringLiteral("Model"));
        QCOMPARE(holder.Count(CountLayouts), 1);
        holder.disconnect();
        QCOMPARE(converter.use_count(), 1);

        TLayer layer;
        QVERIFY_THROWS_EXCEPTION(DrawingViewError, layer.Name());
    }
};

QTEST_GUILESS_MAIN(TestWrappers)
#include "test_wrappers.moc"
