#pragma once

// A small synthetic database for the demo and the command-line tests: 4096-
// byte pages, three user tables in the relations catalogue (CUSTOMER, ORDERS,
// ITEMS) and a pointer page for each.

#include "fixture/fixturewriter.h"
#include "fixture/relationrecords.h"
#include "ods/constants.h"

namespace ravelin::testing {

inline fixture::FixtureWriter DemoDatabase()
{
    fixture::FixtureWriter writer(4096);
    writer.AddDataPage(ods::kRelRelations);
    fixture::AddRelationRecord(writer, "CUSTOMER", 128, 4);
    fixture::AddRelationRecord(writer, "ORDERS", 129, 6);
    fixture::AddRelationRecord(writer, "ITEMS", 130, 5);
    writer.AddPointerPage(128);
    writer.AddPointerPage(129);
    writer.AddPointerPage(130);
    return writer;
}

}  // namespace ravelin::testing
