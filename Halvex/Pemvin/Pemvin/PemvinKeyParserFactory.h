#pragma once

// Base of the public- and private-key factories; they have only class
// operations.
class PemvinKeyParserFactory {
protected:
    PemvinKeyParserFactory() = default;
};
