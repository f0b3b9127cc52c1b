#include "app/ui_state.h"

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

    // A job disables the bar and the five buttons and keeps the zoom box; its end enables Save As too.
    const MainUiEnables job = NextUiState(closed, UiEvent::JobStarted);
    EXPECT_FALSE(job.menuBar || job.toolLoad || job.toolSaveAs || job.toolSmartContrast || job.toolSolvaneUp ||
                 job.toolSolvaneDown);
    EXPECT_EQ(job.zoomBox, closed.zoomBox);
    const MainUiEnables ended = NextUiState(job, UiEvent::JobEnded);
    EXPECT_TRUE(ended.menuBar && ended.toolLoad && ended.toolSaveAs && ended.toolSmartContrast);
    EXPECT_EQ(ended.menuSaveAs, closed.menuSaveAs);
}
