#pragma once

// The 38 named row lists of a decoded report, in the report's dataset order. Every place that walks the
// datasets (the report model, its summary, the report database, the viewer controller) expands this one list.
#define TESSARON_DDD_DATASETS(X)                                                                                       \
    X(events)                                                                                                          \
    X(faults)                                                                                                          \
    X(activities)                                                                                                      \
    X(activityChanges)                                                                                                 \
    X(vehicles)                                                                                                        \
    X(places)                                                                                                          \
    X(charts)                                                                                                          \
    X(asn1Fields)                                                                                                      \
    X(sections)                                                                                                        \
    X(tachoChildSections)                                                                                              \
    X(dayInformation)                                                                                                  \
    X(cardIwData)                                                                                                      \
    X(tachoEvents)                                                                                                     \
    X(tachoFaults)                                                                                                     \
    X(overSpeedingEvents)                                                                                              \
    X(detailedSpeed)                                                                                                   \
    X(calibrationData)                                                                                                 \
    X(vehicleIdentification)                                                                                           \
    X(vuIdentification)                                                                                                \
    X(sensorPaired)                                                                                                    \
    X(activityDaily)                                                                                                   \
    X(placeDailyWorkPeriod)                                                                                            \
    X(specificConditions)                                                                                              \
    X(downloadActivity)                                                                                                \
    X(currentDateTime)                                                                                                 \
    X(downloadablePeriod)                                                                                              \
    X(insertedCardType)                                                                                                \
    X(companyLocks)                                                                                                    \
    X(controlActivity)                                                                                                 \
    X(overSpeedingControl)                                                                                             \
    X(currentUsage)                                                                                                    \
    X(timeAdjustments)                                                                                                 \
    X(cardIcc)                                                                                                         \
    X(cardIc)                                                                                                          \
    X(applicationIdentification)                                                                                       \
    X(cardIdentification)                                                                                              \
    X(cardDownload)                                                                                                    \
    X(drivingLicence)
