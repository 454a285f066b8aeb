// The line as the operator watches it, against the simulated controller on
// a pseudo-terminal: the link status with a known share of lost replies and
// of exception replies, the traffic log's words for them, and the banner
// and masked buttons when the controller stops answering.
#include <gtest/gtest.h>

#include <chrono>

#include "e2e_rig.h"

namespace vq::e2e {
namespace {

TEST(LineWatch, LossAndExceptionsAsTheControllerProducesThem)
{
    Rig r;
    ASSERT_TRUE(r.start());
    r.host().setDropShare(0.3);
    r.host().setExceptionShare(0.1);
    TrafficLog& log = r.form().traffic();
    log.clear();
    // Enough requests for the loss window to hold only requests of this share.
    const std::uint64_t from = log.endSeq();
    ASSERT_TRUE(r.waitFor([&] { return log.endSeq() - from > 400; }, 60000));
    const LineHealth::Figures f = r.form().health().figures(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch()).count());
    ASSERT_TRUE(f.lossPercent);
    // Of 100 requests, 10 % get an exception and 90 % x 30 % lose their
    // reply: 27 % expected; a generous band for 100 samples.
    EXPECT_GT(*f.lossPercent, 10.0);
    EXPECT_LT(*f.lossPercent, 45.0);
    EXPECT_GT(f.exceptions, 0u);
    const std::string status = r.board().text("linkStatus");
    EXPECT_NE(status.find("已连接 模拟控制器"), std::string::npos) << status;
    EXPECT_NE(status.find("丢失 "), std::string::npos) << status;

    int exceptions = 0, timeouts = 0;
    for (std::uint64_t s = log.firstSeq(); s < log.endSeq(); ++s) {
        const std::string m = trafficMeaning(*log.find(s));
        exceptions += m == "异常 04 从站设备故障";
        timeouts += m == "超时";
    }
    EXPECT_GT(exceptions, 0);
    EXPECT_GT(timeouts, 0);
}

TEST(LineWatch, ControllerSilentTurnsTheStatusRedMasksTheButtonsAndComesBack)
{
    Rig r;
    ASSERT_TRUE(r.start());
    ASSERT_TRUE(r.waitFor([&] { return r.board().backColour("Command31") == Colour::green(); }));
    EXPECT_TRUE(r.board().enabled("Command5", 1));
    r.host().setDropShare(1.0);
    // How soon is the core's test, on injected time; here: that it happens.
    ASSERT_TRUE(r.waitFor([&] { return r.board().backColour("linkStatus") == kLineDownGround; }));
    ASSERT_TRUE(r.waitFor([&] { return r.board().text("linkLostBanner") == "通讯中断"; }));
    EXPECT_EQ(r.board().backColour("Command31"), Colour::buttonFace());
    EXPECT_FALSE(r.board().enabled("Command5", 1));
    EXPECT_FALSE(r.board().enabled("Command14"));

    r.host().setDropShare(0.0);
    ASSERT_TRUE(r.waitFor([&] { return r.board().text("linkLostBanner").empty(); }));
    EXPECT_EQ(r.board().backColour("Command31"), Colour::green());
    EXPECT_TRUE(r.board().enabled("Command5", 1));
    EXPECT_TRUE(r.waitFor([&] { return r.board().text("linkStatus").rfind("已连接", 0) == 0; }));
}

} // namespace
} // namespace vq::e2e
