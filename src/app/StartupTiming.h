// Start-up's own stopwatch for the launch-to-tree bench
// (bench/launch_to_tree.sh): with CLIPVAULT_REPORT_TREE_SHOWN set in the
// environment, the program prints one line on standard error once the
// tree of the notebook it opened at start-up has been painted with its
// categories and the window's thread is free again:
//   clipvault: tree shown at EPOCH_MS (N ms after main, C ms of CPU)
// EPOCH_MS is the wall clock in milliseconds since 1970, so the caller can
// count from its own launch; N counts from the start of main(); C is the
// process's CPU time so far, all threads, which a busy machine does not
// stretch.
#pragma once

class QTreeWidget;
class QElapsedTimer;

namespace startup_timing {

// Read once: whether the line was asked for.
bool Wanted();
// Prints the line after the tree's first paint that shows items.
void ReportWhenShown(QTreeWidget* pTree, const QElapsedTimer& sinceMain);

}  // namespace startup_timing
