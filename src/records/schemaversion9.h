#pragma once

// The statements of the shared database's schema version 9, which only the schema's list of
// versions reads: kept apart for their length.
namespace quarvet::records {

// Version 9 (a shared database's): an issue takes what the program gives it from the store, and the
// server holds it to that as well: the number the laboratory's pattern makes of its sequence, for
// the year of its issue in some zone of the world (the laboratory's own is the workstation's), the
// settings' last entry, and an accreditation claimed only where the laboratory states one and
// the record holds what the claim needs. A row typed by hand can say no more than the program
// would have.
inline constexpr const char* postgresVersion9[] = {
    // A record found by a prefix of its id through an index, in a database ordering text by
    // a language's rules: its key in the order of its bytes.
    "CREATE INDEX records_by_id_bytes ON records(id COLLATE \"C\")",
    R"(CREATE OR REPLACE FUNCTION quarvet_issued_as_the_server_says() RETURNS trigger LANGUAGE plpgsql AS $$
        DECLARE
            issued CONSTANT timestamp := NEW.issued_utc::timestamptz AT TIME ZONE 'UTC';
            counted CONSTANT text := NEW.sequence::text;
            newest CONSTANT text := 'SELECT value FROM lab_settings WHERE setting = $1 '
                                    'ORDER BY entry DESC LIMIT 1';
            pattern text;
            prefix text;
            parts text[];
            hit text[];
            n bigint;
            in_year int;
            made text;
            numbered boolean := false;
            claimable boolean;
            -- What no name printed on one line holds: control characters, line breaks, marks
            -- that turn text around, characters that show as nothing.
            unsafe CONSTANT text := '[\x01-\x1f\x7f-\x9f\u00ad\u034f\u061c\u115f\u1160\u17b4'
                '\u17b5\u180b-\u180f\u200b-\u200f\u2028-\u202e\u2060-\u206f\u3164'
                '\ufe00-\ufe0f\ufeff\uffa0\ufff0-\ufff8\U0001bca0-\U0001bca3'
                '\U0001d173-\U0001d17a\U000e0000-\U000e0fff]';
        BEGIN
            IF NEW.issued_utc !~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z$'
               OR NEW.sequence IS DISTINCT FROM
                   coalesce((SELECT max(i.sequence) FROM certificate_issues i), 0) + 1
               OR NEW.chain_head IS DISTINCT FROM
                   (SELECT hash FROM records ORDER BY saved_order DESC LIMIT 1)
               OR NEW.record_hash IS DISTINCT FROM
                   (SELECT hash FROM records WHERE id = NEW.record_id)
               OR abs(extract(epoch FROM NEW.issued_utc::timestamptz - clock_timestamp())) > 300
            THEN
                RAISE EXCEPTION 'an issue takes its sequence, chain head, record hash and time '
                    'from the server' USING ERRCODE = 'QV006';
            END IF;
            EXECUTE newest INTO pattern USING 'pattern';
            EXECUTE newest INTO prefix USING 'prefix';
            pattern := coalesce(nullif(pattern, ''), '{year}-{seq:5}');
            parts := regexp_split_to_array(pattern, '\{(?:year|prefix|seq)(?::[0-9]{1,3})?\}');
            FOREACH in_year IN ARRAY ARRAY[extract(year FROM issued - interval '12 hours'),
                                        extract(year FROM issued + interval '14 hours')]::int[]
            LOOP
                made := parts[1];
                FOR hit, n IN SELECT m.hit, m.place FROM regexp_matches(pattern,
                        '\{(year|prefix|seq)(?::([0-9]{1,3}))?\}', 'g') WITH ORDINALITY
                        AS m(hit, place) LOOP
                    made := made || CASE hit[1]
                        WHEN 'year' THEN in_year::text
                        WHEN 'prefix' THEN coalesce(prefix, '')
                        ELSE lpad(counted, greatest(length(counted),
                                                    coalesce(hit[2]::int, 0)), '0')
                        END || parts[n + 1];
                END LOOP;
                numbered := numbered OR NEW.number = made;
            END LOOP;
            IF NOT numbered THEN
                RAISE EXCEPTION 'an issue takes its number from the laboratory''s pattern'
                    USING ERRCODE = 'QV010';
            END IF;
            -- Who authorised it, printed as given; and a record a correction superseded is
            -- issued as its correction.
            IF NOT (NEW.issued_by ~ '[^[:space:]]' AND NEW.role ~ '[^[:space:]]')
               OR length(NEW.issued_by) > 200 OR length(NEW.role) > 200
               OR NEW.issued_by ~ unsafe OR NEW.role ~ unsafe
               OR EXISTS (SELECT 1 FROM records WHERE corrects = NEW.record_id)
            THEN
                RAISE EXCEPTION 'an issue names who authorised it on one line, for a record not '
                    'superseded' USING ERRCODE = 'QV012';
            END IF;
            -- What a claim of the accreditation needs: the laboratory states one, its name and
            -- address, and a record whose method, registered reference, ambient temperature
            -- and budget are kept.
            EXECUTE newest INTO made USING 'accreditation';
            claimable := coalesce(made, '') <> '';
            EXECUTE newest INTO made USING 'name';
            claimable := claimable AND coalesce(made ~ '[^[:space:]]', false);
            EXECUTE newest INTO made USING 'address';
            claimable := claimable AND coalesce(made ~ '[^[:space:]]', false)
                AND EXISTS (SELECT 1 FROM records WHERE id = NEW.record_id
                            AND method ~ '[^[:space:]]' AND reference_source = 'register'
                            AND ambient IS NOT NULL
                            AND num_nonnulls(reference_k, drift, resolution, uniformity,
                                             stability) > 0);
            IF NEW.settings_entry IS DISTINCT FROM coalesce((SELECT max(entry) FROM lab_settings), 0)
               OR NEW.accredited IS DISTINCT FROM 0 AND NOT (NEW.accredited = 1 AND claimable)
            THEN
                RAISE EXCEPTION 'an issue claims the laboratory as it stands'
                    USING ERRCODE = 'QV011';
            END IF;
            RETURN NEW;
        END $$)",
    // An entry of the register as references add takes it: its texts on one line, its numbers
    // and dates within what a reference standard can have.
    R"(CREATE OR REPLACE FUNCTION quarvet_entered_as_the_server_says() RETURNS trigger LANGUAGE plpgsql AS $$
        DECLARE
            unsafe CONSTANT text := '[\x01-\x1f\x7f-\x9f\u00ad\u034f\u061c\u115f\u1160\u17b4'
                '\u17b5\u180b-\u180f\u200b-\u200f\u2028-\u202e\u2060-\u206f\u3164'
                '\ufe00-\ufe0f\ufeff\uffa0\ufff0-\ufff8\U0001bca0-\U0001bca3'
                '\U0001d173-\U0001d17a\U000e0000-\U000e0fff]';
            day CONSTANT text := '^[0-9]{4}-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])$';
            texts CONSTANT text[] := ARRAY[NEW.identifier, NEW.description, NEW.certificate,
                                           NEW.calibrated_by];
            one text;
        BEGIN
            IF NEW.entry IS DISTINCT FROM coalesce((SELECT max(entry) FROM reference_standards
                                                    WHERE identifier = NEW.identifier), 0) + 1
               OR NEW.saved_utc !~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z$'
               OR abs(extract(epoch FROM NEW.saved_utc::timestamptz - clock_timestamp())) > 300
            THEN
                RAISE EXCEPTION 'an entry of the register takes its number and time from the '
                    'server' USING ERRCODE = 'QV007';
            END IF;
            FOREACH one IN ARRAY texts LOOP
                IF one IS NULL OR one !~ '[^[:space:]]' OR length(one) > 200 OR one ~ unsafe THEN
                    RAISE EXCEPTION 'an entry of the register holds one line of text in each field'
                        USING ERRCODE = 'QV013';
                END IF;
            END LOOP;
            IF NEW.identifier ~ '^[[:space:]]|[[:space:]]$'
               OR NOT (NEW.u > 0 AND NEW.u <= 10 AND NEW.k >= 1 AND NEW.k <= 10 AND NEW.drift >= 0
                       AND NEW.drift < 'Infinity'::double precision)
               OR NEW.usable NOT IN (0, 1)
               OR NEW.calibrated !~ day OR NEW.due !~ day
            THEN
                RAISE EXCEPTION 'an entry of the register holds what a reference standard can have'
                    USING ERRCODE = 'QV013';
            END IF;
            -- The dates read as days of the calendar: calibrated from 1900 up to the server's
            -- today wherever on Earth the laboratory is, due after it.
            IF to_char(NEW.calibrated::date, 'YYYY-MM-DD') <> NEW.calibrated
               OR to_char(NEW.due::date, 'YYYY-MM-DD') <> NEW.due
               OR NEW.calibrated < '1900-01-01'
               OR NEW.calibrated::date > (clock_timestamp() AT TIME ZONE 'UTC' + interval '14 hours')::date
               OR NEW.due < NEW.calibrated
            THEN
                RAISE EXCEPTION 'an entry of the register holds what a reference standard can have'
                    USING ERRCODE = 'QV013';
            END IF;
            RETURN NEW;
        END $$)",
    // Every function of the triggers finds the store's tables, and the catalogue's, whatever a
    // session's search_path or temporary tables say.
    R"(DO $$ BEGIN
        EXECUTE format('ALTER FUNCTION quarvet_issued_as_the_server_says() '
                       'SET search_path = %I, pg_temp', current_schema());
        EXECUTE format('ALTER FUNCTION quarvet_entered_as_the_server_says() '
                       'SET search_path = %I, pg_temp', current_schema());
        EXECUTE format('ALTER FUNCTION quarvet_records_are_kept() SET search_path = %I, pg_temp',
                       current_schema());
        EXECUTE format('ALTER FUNCTION quarvet_corrected_once() SET search_path = %I, pg_temp',
                       current_schema());
        EXECUTE format('ALTER FUNCTION quarvet_saved_by() SET search_path = %I, pg_temp',
                       current_schema());
        EXECUTE format('ALTER FUNCTION quarvet_readings_with_their_record() '
                       'SET search_path = %I, pg_temp', current_schema());
        EXECUTE format('ALTER FUNCTION quarvet_dated_by_the_server() '
                       'SET search_path = %I, pg_temp', current_schema());
    END $$)",
};

} // namespace quarvet::records
