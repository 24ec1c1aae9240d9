// The fleet subcommands that work on files rather than endpoints: comparing two runs, splitting
// an endpoint file into shards for several machines, and merging the shards' results.
//
// Contract.
//   - DiffFleets compares two output folders document by document, pairing them by file name
//     without the extension (so a JSON and an XML run compare), with CompareDocuments (Diff.h):
//     "~ NAME" and its change lines indented, "- NAME: only in DIR1", "+ NAME: only in DIR2", in
//     name order. An endpoint that a run's summary.json says failed, was partial or was not done
//     is told as that instead ("! NAME: failed in DIR2: cause"; "partial in DIR1: lacks ..."),
//     never as a document only in the other run or as packages removed; one in the same trouble
//     in both runs is left out. Returns 0 when nothing is told, 1 otherwise.
//   - ShardText returns the endpoints of shard index of shards (ShardOf) in the file's own form,
//     each as it was written; every shard of a valid file is itself valid.
//   - MergeFleets reads the summary.json of each folder, refuses (UsageError) an endpoint or a
//     document name found in two of them, or a document a summary names that is missing; then
//     copies every document into output_dir and writes there the summary of them all. Returns
//     RunStatus of them all (Summary.h), as the runs would have together.
// Unreadable folders, summaries or documents throw UsageError or DocumentError.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Fleet.h"

namespace Quendal::Tool {

// json: the same as data instead (DiffJson.h), printed whatever the exit status.
int DiffFleets(const std::string& old_dir, const std::string& new_dir, bool json);

std::string ShardText(const std::string& file, std::size_t shards, std::size_t index);

int MergeFleets(const std::vector<std::string>& dirs, const std::string& output_dir);

}  // namespace Quendal::Tool
