#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "app/CommandTable.h"
#include "app/Icons.h"

namespace tavix {
namespace {

// A drawn icon is painted on a clear background: a corner the drawing never
// touches stays transparent, whatever memory the pixmap was made from.
TEST(DrawnIcons, LeaveUntouchedPixelsTransparent) {
    for (int round = 0; round < 3; ++round) {
        for (int id : {int(cmd::Bold), int(cmd::Back), int(cmd::FrontPage), int(cmd::Subscript)}) {
            const QImage image = drawnCommandIcon(id).pixmap(32, 32).toImage();
            ASSERT_FALSE(image.isNull()) << id;
            EXPECT_EQ(qAlpha(image.pixel(0, 31)), 0) << id;
            EXPECT_EQ(qAlpha(image.pixel(31, 0)), 0) << id;
        }
    }
}

TEST(DrawnIcons, ApplicationIconComesFromTheResources) {
    EXPECT_FALSE(applicationIcon().pixmap(48, 48).isNull());
}

}  // namespace
}  // namespace tavix
