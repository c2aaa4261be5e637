#include "tessascene/scene_text/slice_options.h"

#include <cfloat>
#include <cmath>
#include <vector>

#include "tessascene/figures/numbers.h"

namespace tessascene {

namespace {

const char kAxes[] = "xyzq";

// A number by tessascene's number rule that is 0 or fits a 32-bit float as a normal number.
bool parseValue(const std::string& text, double& value) {
    return readNumber(text, value) == NumberRead::kNumber && std::isfinite(value) &&
           (value == 0.0 || (std::fabs(value) >= FLT_MIN && std::fabs(value) <= FLT_MAX));
}

}  // namespace

bool parseSliceOption(const std::string& option, const std::string& value, SliceOptions& slice,
                      std::string& problem) {
    slice.any = true;
    if (option == "--sweep") {
        long long cuts = 0;
        if (readWholeNumber(value, cuts) != NumberRead::kNumber || cuts < 1 || cuts > 1000) {
            problem = "expected a whole number of cuts from 1 to 1000";
            return false;
        }
        slice.sweep = static_cast<int>(cuts);
        return true;
    }
    ++slice.given;
    const size_t mark = value.find(option == "--at" ? '=' : ':');
    const std::string offset = mark == std::string::npos ? "" : value.substr(mark + 1);
    slice.offsetGiven = mark != std::string::npos;
    if (slice.offsetGiven && !parseValue(offset, slice.plane.offset)) {
        problem =
            "the value C must be a number, 0 or within the range of a 32-bit float (about "
            "1.2e-38 to 3.4e+38 in size)";
        return false;
    }
    const std::string head = value.substr(0, mark);
    if (option == "--at") {
        const size_t axis = head.size() == 1 ? std::string(kAxes).find(head[0]) : std::string::npos;
        if (axis == std::string::npos) {
            problem = "expected AXIS=C with AXIS one of x y z q, for example q=0";
            return false;
        }
        slice.axis = static_cast<int>(axis);
        slice.plane.normal = {0.0, 0.0, 0.0, 0.0};
        slice.plane.normal[axis] = 1.0;
        return true;
    }
    std::vector<std::string> parts(1);
    for (char c : head) {
        if (c == ',') {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    slice.axis = -1;
    bool numbers = parts.size() == 4;
    for (int i = 0; numbers && i < 4; ++i) {
        numbers = parseValue(parts[i], slice.plane.normal[i]);
    }
    if (!numbers) {
        problem =
            "expected NX,NY,NZ,NQ:C, five numbers (each 0 or within the range of a 32-bit "
            "float), for the points P with N.P = C";
        return false;
    }
    const Vertex4& n = slice.plane.normal;
    if (n[0] == 0.0 && n[1] == 0.0 && n[2] == 0.0 && n[3] == 0.0) {
        problem =
            "the normal 0,0,0,0 gives no hyperplane; at least one of NX,NY,NZ,NQ must not "
            "be 0";
        return false;
    }
    return true;
}

bool checkSliceOptions(bool sliceCommand, const SliceOptions& slice, std::string& error) {
    if (!sliceCommand) {
        if (slice.any) {
            error = "--at, --hyperplane and --sweep are for the slice command";
            return false;
        }
        return true;
    }
    if (slice.given > 1) {
        error = "give one hyperplane: one --at or one --hyperplane";
        return false;
    }
    if (slice.sweep > 0 && slice.offsetGiven) {
        error =
            "--sweep places its cuts itself: give the direction alone, as --at AXIS or "
            "--hyperplane NX,NY,NZ,NQ, without a value C";
        return false;
    }
    if (slice.sweep == 0 && !slice.offsetGiven) {
        error = "slice needs a hyperplane: --at AXIS=C or --hyperplane NX,NY,NZ,NQ:C, or --sweep N";
        return false;
    }
    return true;
}

}  // namespace tessascene
