#pragma once

#include <boost/assert/source_location.hpp>
#include <boost/throw_exception.hpp>

// The utility sources throw through here so that every error carries where it was thrown.
#define UTILITIES_THROW(exception) ::boost::throw_exception((exception), BOOST_CURRENT_LOCATION)
