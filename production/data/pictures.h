// The production's 42 picture files.
#pragma once

#include <string>
#include <vector>

#include "production/data/art.h"

struct PicturePreview {
    std::string name;
    Canvas picture; // what the file holds (an alpha picture as grey)
};

// Writes every picture file into the directory; false on the first file that cannot be written.
bool PicturesWrite(const std::string& directory, std::vector<PicturePreview>* previews);
// The file names PicturesWrite produces, in the order it writes them.
std::vector<std::string> PictureNames();
