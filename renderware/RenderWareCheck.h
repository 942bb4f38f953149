#pragma once

#include "archive/format/ContentType.h"

#include <QString>

#include <vector>

class IMGClass;

// One thing wrong inside a dictionary or a model.
struct RenderWareProblem
{
    int entry = -1; // directory position
    QString message;
};

// What the strict check adds from reading dictionaries and models whole: a
// texture native running past its chunk (or any chunk past its parent), a count
// that disagrees with the natives found, level data shorter than it needs, and
// texture names a model's materials use that the dictionary of the same name
// (car.dff and car.txd, ASCII case ignored) lacks.
class RenderWareCheck
{
public:
    explicit RenderWareCheck(IMGClass &img);

    // `types`: every entry's content type (ArchiveChecker::ContentTypes after
    // CheckStrict). Entries whose first chunk runs past them are left to that check.
    std::vector<RenderWareProblem> Check(const std::vector<ContentType> &types);

private:
    IMGClass &img;
};
