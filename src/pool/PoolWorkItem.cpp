#include "pool/PoolWorkItem.h"

const char* const PoolWorkItem::QueueTooLongText = "Execution queue is too long.";
const char* const PoolWorkItem::WaitTimeExceededText = "Maximum wait time exceeded.";

PoolWorkItem::~PoolWorkItem() = default;

void PoolWorkItem::Execute() {}
