#include "convert/conversions.hpp"

namespace txconv {

namespace {

std::string counted(std::uint64_t count, std::string_view one, std::string_view many)
{
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

} // namespace

std::string_view made_extension(direction way)
{
    return way == direction::to_table ? "tx" : "txt";
}

converter::converter(output_writer& writer, message_sink warn)
    : writer_(writer), warn_(std::move(warn)),
      scanner_([this](std::uint64_t line) { note_problem(line, true); },
               [this](std::uint64_t line) { note_problem(line, false); })
{
}

void converter::note_problem(std::uint64_t line, bool stored_as_zero)
{
    const std::string where = shown_ + ":" + std::to_string(line);
    if (strict_) {
        if (!problem_) {
            problem_ = failure{{}, where, "value is not 8 hex digits"};
        }
    } else if (stored_as_zero && warn_) {
        warn_(where + ": value is not 8 hex digits; stored as 0");
    }
}

outcome converter::read_listing(native_file& input, const conversion_job& job, table_image& image)
{
    scanner_.reset();
    std::size_t got = 0;
    do {
        if (auto failed = read_chunk(input, job.input, scanner_.space(), got)) {
            return failed;
        }
        scanner_.scan(got);
    } while (got == listing_scanner::CHUNK_BYTES);
    scanner_.finish();

    const std::uint64_t ignored = scanner_.ignored();
    if (strict_) {
        if (problem_) {
            return problem_;
        }
        if (ignored > 0) {
            return failure{{}, shown_ + ":" + std::to_string(scanner_.first_ignored_line()),
                           "more than " + std::to_string(TABLE_SLOTS) + " values"};
        }
        if (scanner_.filled() < TABLE_SLOTS) {
            return failure{{}, shown_,
                           "holds " + counted(scanner_.filled(), "value", "values") + "; a listing takes " +
                               std::to_string(TABLE_SLOTS)};
        }
    } else if (ignored > 0 && warn_) {
        warn_(shown_ + ": " + counted(ignored, "value", "values") + " after the first " +
              std::to_string(TABLE_SLOTS) + (ignored == 1 ? " was" : " were") + " ignored");
    }
    image = encode_table(scanner_.table());
    return {};
}

outcome converter::read_table(native_file& input, const conversion_job& job, listing_text& text)
{
    // Only the first image counts, so only its bytes are read, unless a
    // strict check needs the file's length.
    table_image image{};
    std::size_t got = 0;
    if (auto failed = read_chunk(input, job.input, image, got)) {
        return failed;
    }
    if (got < TABLE_BYTES) {
        return failure{NOTICE_SHORT_TABLE, shown_,
                       "holds " + std::to_string(got) + " bytes; a table takes " + std::to_string(TABLE_BYTES)};
    }
    if (strict_) {
        // The listing buffer is free while a table is read.
        std::uint64_t length = TABLE_BYTES;
        do {
            if (auto failed = read_chunk(input, job.input, scanner_.space(), got)) {
                return failed;
            }
            length += got;
        } while (got == listing_scanner::CHUNK_BYTES);
        if (length % TABLE_BYTES != 0) {
            return failure{NOTICE_SHORT_TABLE, shown_,
                           "holds " + std::to_string(length) + " bytes; not a whole number of " +
                               std::to_string(TABLE_BYTES) + "-byte tables"};
        }
    }
    text = format_listing(decode_table(image));
    return {};
}

void converter::run(const conversion_job& job, output_done done)
{
    shown_ = display_path(job.input);
    strict_ = job.strict;
    problem_.reset();

    native_file input;
    std::optional<file_identity> identity;
    if (job.from_standard_input) {
        open_standard_input(input, identity);
    } else if (auto failed = open_input(job.input, input, identity)) {
        writer_.report(failed, std::move(done));
        return;
    }
    // The output's name is looked at first: a conversion that could not be
    // written is not worth reading a large input for.
    if (!job.check_only && job.output) {
        if (auto refused = writer_.check_target(*job.output, job.mode, identity)) {
            writer_.report(refused, std::move(done));
            return;
        }
    }

    table_image image{};
    listing_text text{};
    std::span<const char> result;
    outcome failed;
    if (job.way == direction::to_table) {
        failed = read_listing(input, job, image);
        result = image;
    } else {
        failed = read_table(input, job, text);
        result = text;
    }
    if (!failed) {
        failed = close_input(input, job.input);
    }
    if (failed || job.check_only) {
        writer_.report(failed, std::move(done));
    } else if (!job.output) {
        writer_.report(write_to_standard_output(result, identity), std::move(done));
    } else {
        writer_.write(*job.output, job.mode, result, identity, std::move(done));
    }
}

namespace {

void menu_conversion(converter& runner, const path_string& path, direction way, output_done done)
{
    conversion_job job;
    job.input = path;
    job.way = way;
    job.output = output_name_for(path, made_extension(way));
    job.mode = write_mode::append;
    runner.run(job, std::move(done));
}

} // namespace

void txt_to_tx(converter& runner, const path_string& path, output_done done)
{
    menu_conversion(runner, path, direction::to_table, std::move(done));
}

void tx_to_txt(converter& runner, const path_string& path, output_done done)
{
    menu_conversion(runner, path, direction::to_listing, std::move(done));
}

} // namespace txconv
