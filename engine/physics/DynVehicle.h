// The vehicle dynamics record: one car, its body's lump, its wheel layout, the per-wheel state
// that the car physics reads and writes, the driver's inputs, the handling values that the
// vehicle-handling console edits and the drive state of its engine and gearbox.
//
// All car quantities are SI (metres, kilograms, seconds, radians, newtons) in the body's own
// frame: y up, x sideways, z along the car. Every per-wheel array holds four entries: 0 and 1
// the front axle, 2 and 3 the rear axle.
#pragma once

#include "maths/Types.h"

#include <cstdint>

struct bzLump;
struct bzCarSurface;
struct bzDynFaceHit;

// carFlags bits.
enum : uint32_t
{
    BZ_CAR_ANALOG_THROTTLE = 0x1,
    BZ_CAR_ANALOG_BRAKE = 0x2,
    BZ_CAR_DOUBLE_DIGITAL_STEER = 0x4, // a digital steering input counts twice its value
    BZ_CAR_ANALOG_STEER = 0x8,
    BZ_CAR_OLD_WHEEL_MODEL = 0x100,
    BZ_CAR_ELLIPSOID_PROBE = 0x200,
    BZ_CAR_ELLIPSOID_ONLY = 0x400, // the ellipsoid road's own probe instead of the rays
    BZ_CAR_ELLIPSOID_FLAT = 0x800, // the ellipsoid road's contact normals all (0, 1, 0)
};

// driveMode values.
enum : uint32_t
{
    BZ_DRIVE_FORWARD = 0,
    BZ_DRIVE_REVERSE = 1,
    BZ_DRIVE_STOPPING = 2,
    BZ_DRIVE_STOPPED = 3,
};

// Indices of the 78 handling values, named as the console's commands.
enum bzHandlingIndex : int32_t
{
    BZ_H_WheelMass,
    BZ_H_FrontDownForce,
    BZ_H_RearDownForce,
    BZ_H_DragCoefficient,
    BZ_H_MomentOfInertiaMultiplier,
    BZ_H_SteerSpeed1,
    BZ_H_SteerSpeed2,
    BZ_H_SteerSpeedVel,
    BZ_H_SteerLimit1,
    BZ_H_SteerLimit2,
    BZ_H_SteerLimitSpeed,
    BZ_H_SteerCentreMultiplier,
    BZ_H_CastorSpeed1,
    BZ_H_CastorSpeed2,
    BZ_H_CastorSpeedVel,
    BZ_H_CastorSlipRatioLimit,
    BZ_H_AnalogStabilise,
    BZ_H_AnalogMaxTurnRate,
    BZ_H_AnalogQuadratic,
    BZ_H_MaxSteeringAngle,
    BZ_H_SteerGyroscope,
    BZ_H_BrakeBalance,
    BZ_H_BrakeForce,
    BZ_H_BrakeAttack,
    BZ_H_FrontGrip,
    BZ_H_RearGrip,
    BZ_H_HandBrakeStrength,
    BZ_H_HandBrakeAttack,
    BZ_H_FrontRoll,
    BZ_H_RearRoll,
    BZ_H_SteerFeedBack,
    BZ_H_SteerIntoSkidModifier,
    BZ_H_SlideSpinRecovery,
    BZ_H_CMposZ,
    BZ_H_CMposY,
    BZ_H_FrontCriticalAngle,
    BZ_H_RearCriticalAngle,
    BZ_H_BumpSteer,
    BZ_H_SteerDownSlope,
    BZ_H_TorqueSplit,
    BZ_H_LSDThresholdF,
    BZ_H_LSDThresholdR,
    BZ_H_LSDThresholdM,
    BZ_H_RollingResistance,
    BZ_H_OldWheelModel,
    BZ_H_GearBox,
    BZ_H_CameraSlip,
    BZ_H_CameraHeight,
    BZ_H_CameraDistance,
    BZ_H_CameraOffset,
    BZ_H_FrontSuspGive,
    BZ_H_RearSuspGive,
    BZ_H_SuspDamping,
    BZ_H_StabilityGripChange,
    BZ_H_StabilityThreshold,
    BZ_H_ReversePowerMulitplier,
    BZ_H_Engine,
    BZ_H_DriveMI,
    BZ_H_EngineMI,
    BZ_H_Torque,
    BZ_H_PowerMultiplier,
    BZ_H_RedLine,
    BZ_H_MaxRevs,
    BZ_H_LimitRevs,
    BZ_H_ConstantEngineFriction,
    BZ_H_LinearEngineFriction,
    BZ_H_QuadraticEngineFriction,
    BZ_H_ConstantDriveFriction,
    BZ_H_LinearDriveFriction,
    BZ_H_QuadraticDriveFriction,
    BZ_H_EngineBrakeDelay,
    BZ_H_EngineBrakeAttack,
    BZ_H_TractionControlTime,
    BZ_H_TractionControlFade,
    BZ_H_ClutchDelay,
    BZ_H_GearRatios,
    BZ_H_FinalDrive,
    BZ_H_NumGears,
    BZ_HANDLING_COUNT
};

// One handling value: a float, or a switch text of up to three characters and a zero.
union bzHandlingValue
{
    float f;
    char s[4];
};
static_assert(sizeof(bzHandlingValue) == 4);

struct bzDynVehicleHandling
{
    uint32_t changed; // 1: apply before the next update
    bzHandlingValue values[BZ_HANDLING_COUNT];
};

// Gears the ratio table has room for: reverse, neutral and this many forward gears.
constexpr int32_t BZ_DRIVE_MAX_GEARS = 8;
// Points of the torque curve, at 0, 1000, ... 9000 rpm.
constexpr int32_t BZ_DRIVE_CURVE_POINTS = 10;

// The engine, clutch and gearbox of a vehicle.
struct bzDynVehicleDrive
{
    uint32_t engineOn;
    float engineInertia;
    float driveMI;
    float torqueCurve[BZ_DRIVE_CURVE_POINTS]; // N m at 0, 1000, ... 9000 rpm
    float redLine;                            // rpm
    float maxRevs;                            // rpm
    float redLineRadPerSec;
    float *gearRatios; // indexed -1 (reverse) to numGears; points into ratioTable + 1
    float ratioTable[BZ_DRIVE_MAX_GEARS + 2];
    float inverseFinalDrive;
    uint32_t numGears;
    uint32_t limitRevs;
    float engineFriction[3]; // constant, linear, quadratic
    float driveFriction[3];
    float peakPower;
    int32_t gear; // -1 reverse, 0 neutral, 1 and up forward
    float rpm;
    float engineSpeed; // rad/s
    float throttle;    // the engine's effective throttle
    float driveTorque;
    float spare0;
    float releaseTime; // since the accelerator was released
    float runTime;
    float spare1;
    float brakeTime;
    float handbrakeTime;
    float stopTime;
    float engineTorque;
    float clutchTime; // negative while the clutch is down
};

struct bzDynVehicle
{
    bzLump *object;     // the car's lump; its body hangs at bodyLump
    float maxCurvature; // tan(full lock) / wheelbase
    float forwardSign;  // the sign of car-space z that points forward
    float rideHeight;
    bzV3 wheelPos[4]; // suspension mounts, also the probe origins
    float suspGive[4];
    float suspLength[4];
    float grip[4];
    float torqueShare[4];
    float slipLimit[4];
    float rollResist[4];
    float sumShareSq;
    float frontRoll, rearRoll;
    float dragCoefficient;
    float wheelRadius;
    float wheelSize2; // the second wheel size; nothing reads it
    float wheelInertia;
    float driveInertia;
    uint8_t axle[4];    // 0 front, 1 rear
    uint8_t steered[4]; // non-zero for a steered wheel
    uint32_t carFlags;  // BZ_CAR_*
    float pushOutLimit, pushOutGain;
    float steerCurvature;
    float bankSteer;
    float brakeBalance;
    float throttle, brake, steerLeft, steerRight; // the driver's inputs, 0 to 1
    float handbrake;
    uint32_t gearChanging; // the clutch is down during a gear change
    uint32_t gearRequest;  // holds the clutch down
    uint32_t driveMode;    // BZ_DRIVE_*
    bzV3 startVelocity;
    bzV3 wheelShape; // half-axes of the ellipsoid wheel
    float brakeForce[4];
    float probeOffset[4];
    float frontDownForce, rearDownForce;
    uint32_t driven; // a driver controls the car; keeps the body awake
    bzV3 steerCentre;
    float springRate[4];
    float damping[4];
    float weightShare[4];
    bzM34 restMatrix; // translation x 1e8: not taken
    uint32_t wheelsOnGround, wheelsOnGroundCopy;
    float gripForce[4];
    float tyreLimit[4];
    float slipSpeed[4];
    float slipAngle[4];
    float skidFront, skidRear;
    float driveForce, driveForce2;
    float probeDist[4]; // 2.0: nothing found
    float suspPrev[4];
    float wheelLoad[4];
    float gripBoost[4];
    const bzDynFaceHit *hitFace[4];
    bzV3 contactNormal[4];
    float wheelSpin[4];
    const bzCarSurface *wheelSurface[4];
    float engineReaction;
    float engineReaction2; // the old wheel model's companion term
    float driveSpin;
    int8_t diffLock[3]; // front, rear, centre: 0 open, +1 or -1 locked
    float lsdThreshold[3];
    float invEngineInertia;
    const bzV3 *floorVelocities; // four per-wheel floor velocities, or null
    bzV3 floorVelocity;
    float baseYawInertia;
    float skidSteerSign;
    uint32_t restFrames;
    bzDynVehicle *next;
    bzDynVehicleHandling *handling;
    uint32_t spare0;
    bzDynVehicleDrive *drive;
    uint32_t spare1;
    float graphicalWheelLimits[4];
    bzLump *bodyLump;
};
