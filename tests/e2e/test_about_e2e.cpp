// Menu 关于 -> "关于 Velquor": the box names the version, the commit, the
// console's licence and Qt's, opens without blocking the window, and opens
// once however often it is chosen.
#include <gtest/gtest.h>

#include <QAction>
#include <QMessageBox>

#include "e2e_rig.h"
#include "version/version.h"

namespace vq::e2e {
namespace {

TEST(About, BoxShowsVersionAndLicencesWithoutBlocking)
{
    Rig r;
    ASSERT_TRUE(r.start());
    QAction* about = r.window().action("aboutVelquor");
    ASSERT_NE(about, nullptr);
    about->trigger(); // a blocking box would not return here
    auto* box = r.window().findChild<QMessageBox*>("aboutBox");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());

    const QString text = box->text();
    std::vector<QString> expected = {QString::fromStdString(std::string(versionNumber())), "MIT", "LGPLv3",
                                     QString::fromLatin1(qVersion())};
    if (!commitId().empty()) expected.push_back(QString::fromStdString(std::string(commitId())));
    for (const QString& e : expected) EXPECT_TRUE(text.contains(e)) << e.toStdString() << " not in " << text.toStdString();

    // The window goes on polling with the box open.
    const auto replies = r.form().link().repliesAccepted();
    EXPECT_TRUE(r.waitFor([&] { return r.form().link().repliesAccepted() > replies + 2; }));

    about->trigger();
    EXPECT_EQ(r.window().findChildren<QMessageBox*>("aboutBox").size(), 1);
}

} // namespace
} // namespace vq::e2e
