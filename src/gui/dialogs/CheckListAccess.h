#pragma once

class QTreeWidget;

// Makes the top-level rows of `list`, whose first column carries a check box, usable without a
// mouse: assistive technology sees each row as a check box named by its first column's text,
// with its checkable and checked state, and ticks or unticks it by the Toggle action; Space
// toggles the current row. (The item views' own accessible rows report no check state and
// their Toggle action only selects.) Call it once, before the list is shown.
void MakeAccessibleCheckList(QTreeWidget* list);
