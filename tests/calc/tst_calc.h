#pragma once

#include <QObject>

class TestEntry : public QObject {
    Q_OBJECT
private slots:
    void numbers_data();
    void numbers();
    void negativeUnderflowKeepsSign();
    void failures_data();
    void failures();
    void publicVectors_data();
    void publicVectors();
    void publicRangeVectors_data();
    void publicRangeVectors();
    void megabyteOfDigits();
    void shortDecimalsAgreeWithFromChars_data();
    void shortDecimalsAgreeWithFromChars();
};

class TestCheck : public QObject {
    Q_OBJECT
private slots:
    void probe_data();
    void probe();
    void mainCheck_data();
    void mainCheck();
    void setupCheck_data();
    void setupCheck();
};

class TestCalibration : public QObject {
    Q_OBJECT
    // Its cases are the adjustment check's too, which must agree with it.
    friend class TestAdjustment;

private slots:
    void coefficientCodes_data();
    void coefficientCodes();
    void scaledFloor_data();
    void scaledFloor();
    void codes_data();
    void codes();
    void faults_data();
    void faults();
    void entries_data();
    void entries();
};

class TestUtf8Text : public QObject {
    Q_OBJECT
private slots:
    void characterLength_data();
    void characterLength();
    void printable_data();
    void printable();
};

class TestAdjustment : public QObject {
    Q_OBJECT
private slots:
    void codesReadBack_data();
    void codesReadBack();
    void workedExample();
    void lines_data();
    void lines();
    void faults_data();
    void faults();
    void neutralCheckIsCalc_data();
    void neutralCheckIsCalc();
    void errorBoundHolds();
    void composeThenApplyIsApplyToRaw();
    void verification_data();
    void verification();
};

class TestUncertainty : public QObject {
    Q_OBJECT
private slots:
    void workedExamples_data();
    void workedExamples();
    void oneReadingHasNoTypeA();
    void sameBudgetAtAnyMagnitude_data();
    void sameBudgetAtAnyMagnitude();
    void refusedInputs_data();
    void refusedInputs();
    void roundingUp_data();
    void roundingUp();
    void identicalReadingsAreIdentical_data();
    void identicalReadingsAreIdentical();
    void numberTextsIgnoreTheProcessLocale_data();
    void numberTextsIgnoreTheProcessLocale();
    void neverBelowTheReference();
    void coverageFactorTendsToTwo();
    void componentsNeverLowerU_data();
    void componentsNeverLowerU();
    void verdictsAtTheLimits_data();
    void verdictsAtTheLimits();
    void overallIsTheWorst_data();
    void overallIsTheWorst();
    void asFoundOfTheWorkedExample_data();
    void asFoundOfTheWorkedExample();
    void evaluation_data();
    void evaluation();
    void roundedToUncertainty_data();
    void roundedToUncertainty();
};

class TestScope : public QObject {
    Q_OBJECT
private slots:
    void typed_data();
    void typed();
    void keptReadsBackExactly();
    void keptByAnotherHand_data();
    void keptByAnotherHand();
    void cmcAt_data();
    void cmcAt();
    void resultsHeldAgainstTheScope_data();
    void resultsHeldAgainstTheScope();
    void pooledTyped_data();
    void pooledTyped();
    void pooledForAPointReadOnce_data();
    void pooledForAPointReadOnce();
};

class TestRecall : public QObject {
    Q_OBJECT
private slots:
    void staircase_data();
    void staircase();
    void factors_data();
    void factors();
    void drift_data();
    void drift();
};
