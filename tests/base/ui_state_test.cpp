#include "base/ui_state.h"

#include <gtest/gtest.h>

TEST(UiState, FollowsTheStateTables) {
    const MainUiEnables created = NextUiState(MainUiEnables{}, UiEvent::Created);
    EXPECT_TRUE(created.menuBar);
    EXPECT_FALSE(created.menuSaveAs || created.menuClose || created.zoomBox);
    EXPECT_TRUE(created.toolLoad);
    EXPECT_FALSE(created.toolSaveAs || created.toolSmartContrast || created.toolSolvaneUp || created.toolSolvaneDown);

    const MainUiEnables loaded = NextUiState(created, UiEvent::Loaded);
    EXPECT_TRUE(loaded.menuSaveAs && loaded.menuClose && loaded.zoomBox && loaded.toolSaveAs &&
                loaded.toolSmartContrast && loaded.toolSolvaneUp && loaded.toolSolvaneDown);

    // Close leaves the processing buttons as they were.
    const MainUiEnables closed = NextUiState(loaded, UiEvent::Closed);
    EXPECT_FALSE(closed.menuSaveAs || closed.menuClose || closed.zoomBox || closed.toolSaveAs);
    EXPECT_TRUE(closed.toolLoad && closed.toolSmartContrast && closed.toolSolvaneUp && closed.toolSolvaneDown);

    // A job disables the bar and the five buttons and keeps the zoom box.
    const MainUiEnables job = NextUiState(loaded, UiEvent::JobStarted);
    EXPECT_FALSE(job.menuBar || job.toolLoad || job.toolSaveAs || job.toolSmartContrast || job.toolSolvaneUp ||
                 job.toolSolvaneDown);
    EXPECT_EQ(job.zoomBox, loaded.zoomBox);
    // Its end with a picture gives back everything, Save As, Close and the zoom box included (a Fusion
    // run may end in any of its states).
    EXPECT_EQ(NextUiState(NextUiState(job, UiEvent::JobStarted), UiEvent::JobEnded), loaded);

    // Without a picture (Smart Contrast from the menu) nothing can be saved or processed afterwards.
    const MainUiEnables empty = NextUiState(NextUiState(created, UiEvent::JobStarted), UiEvent::JobEnded);
    EXPECT_EQ(empty, created);
    const MainUiEnables afterClose = NextUiState(NextUiState(closed, UiEvent::JobStarted), UiEvent::JobEnded);
    EXPECT_TRUE(afterClose.menuBar && afterClose.toolLoad);
    EXPECT_FALSE(afterClose.toolSaveAs || afterClose.menuSaveAs || afterClose.toolSolvaneUp || afterClose.zoomBox);
}
