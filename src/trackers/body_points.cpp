#include "trackers/body_points.h"

namespace vantrels {

const BodyPoint kBodyPoints[kBodyPointCount] = {
    {"VANTRL-HEAD", "TrackerRole_Camera", "Head"},
    {"VANTRL-CHEST", "TrackerRole_Chest", "Chest"},
    {"VANTRL-WAIST", "TrackerRole_Waist", "Waist"},
    {"VANTRL-LEFT-KNEE", "TrackerRole_LeftKnee", "Left Knee"},
    {"VANTRL-RIGHT-KNEE", "TrackerRole_RightKnee", "Right Knee"},
    {"VANTRL-LEFT-FOOT", "TrackerRole_LeftFoot", "Left Foot"},
    {"VANTRL-RIGHT-FOOT", "TrackerRole_RightFoot", "Right Foot"},
    {"VANTRL-LEFT-ELBOW", "TrackerRole_LeftElbow", "Left Elbow"},
    {"VANTRL-RIGHT-ELBOW", "TrackerRole_RightElbow", "Right Elbow"},
    {"VANTRL-NECK", nullptr, "Neck"},
    {"VANTRL-UPPER-CHEST", nullptr, "Upper Chest"},
    {"VANTRL-HIP", nullptr, "Hip"},
    {"VANTRL-LEFT-SHOULDER", "TrackerRole_LeftShoulder", "Left Shoulder"},
    {"VANTRL-RIGHT-SHOULDER", "TrackerRole_RightShoulder", "Right Shoulder"},
    {"VANTRL-LEFT-FOREARM", nullptr, "Left Forearm"},
    {"VANTRL-RIGHT-FOREARM", nullptr, "Right Forearm"},
    {"VANTRL-LEFT-HAND", nullptr, "Left Hand"},
    {"VANTRL-RIGHT-HAND", nullptr, "Right Hand"},
    {"VANTRL-LEFT-SHIN", nullptr, "Left Shin"},
    {"VANTRL-RIGHT-SHIN", nullptr, "Right Shin"},
};

}  // namespace vantrels
