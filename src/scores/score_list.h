// The sixteen best times drawn beside the well.
#pragma once

void DrawScoreList(bool present);
