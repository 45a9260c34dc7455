// One student's grade: an outcome for every image of the exercise, in the order of the run,
// and the student's line, which says how many of them equal the reference and what became of
// the others.
#pragma once

#include "resultcomparison.h"
#include "steprunrecord.h"

#include <optional>
#include <string>
#include <vector>

struct CGradedImage {
    enum class Outcome {
        Equal, // exactly or within the tolerance: comparison tells
        Differs,
        Crashed,
        TimedOut,
        Missing,
        SizeDiffers,
        Damaged,
        ReferenceDamaged
    };

    std::string name; // the image as the list gives it
    Outcome outcome = Outcome::Missing;
    CImageComparison comparison;
    std::string detail; // the runner's line for a crash or a time-out
    double seconds = 0;
};

struct CStudentGrade {
    enum class Status { Equal, Differs, Crashed, TimedOut, DidNotBuild, NotGraded };

    std::string name;
    Status status = Status::NotGraded;
    std::string detail;  // the compiler's first error, or why the student was not graded
    bool reused = false; // built and run by an earlier grade, nothing having changed since
    std::vector<CGradedImage> images;
    double seconds = 0; // the run's

    int EqualImages() const;
    // Over the images whose pixels were compared; nothing when none were.
    std::optional<int> LargestDifference() const;
    std::optional<double> LowestPsnr() const; // over the differing images
};

struct CExerciseImage;

// Each image of a run: its result compared where the run wrote one, else what the run said.
std::vector<CGradedImage> GradedImages(const std::vector<CExerciseImage>& images,
                                       const CStepRunRecord& record,
                                       const CFolderComparison& compared);
// The status the images give a student who was built and run.
CStudentGrade::Status StatusOfImages(const std::vector<CGradedImage>& images);

// 相同, 容差内相同, 不同, 运行出错, 超时, 缺少, 尺寸不同, 损坏, 参考损坏.
std::string GradedImageWord(const CGradedImage& image);
// 相同, 不同, 运行出错, 超时, 没有编译成功, 未评分.
const char* StudentStatusWord(CStudentGrade::Status status);
// equal images × points / images, the points being those of the whole exercise.
double StudentPoints(const CStudentGrade& grade, double points);
// "9.5", "10", "6.67"
std::string PointsText(double points);

// "sven：已编译，10 个图像中 9 个相同，1 个运行出错（[1/10] ……）", with the points when the
// exercise has some.
std::string StudentGradeLine(const CStudentGrade& grade, std::optional<double> points);
// "共 5 名学生：相同 1 名，不同 1 名，运行出错 1 名，超时 1 名，没有编译成功 1 名。"
std::string GradeSummaryLine(const std::vector<CStudentGrade>& grades);
